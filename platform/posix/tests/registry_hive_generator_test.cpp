#include <gtest/gtest.h>
#include <hivex.h>

#include <memory>

#include "platform/posix/registry/hive_generator.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::TempDir;

std::uint32_t U32At(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<std::uint8_t>(bytes.at(at + static_cast<std::size_t>(i)));
  return value;
}

TEST(HiveGenerator, WritesACleanXpFormatHiveThatLibhivexOpensForWriting) {
  TempDir dir;
  const auto file = dir / "empty.hiv";
  WriteEmptyHive(file, "$$$PROTO.HIV");
  const auto bytes = testing::ReadFile(file);
  ASSERT_EQ(bytes.size(), 8192u);
  EXPECT_EQ(bytes.substr(0, 4), "regf");
  EXPECT_EQ(U32At(bytes, 4), U32At(bytes, 8)) << "sequence numbers must match";
  EXPECT_EQ(U32At(bytes, 0x14), 1u);
  EXPECT_EQ(U32At(bytes, 0x18), 5u);
  EXPECT_EQ(U32At(bytes, 0x1FC),
            HiveHeaderChecksum(reinterpret_cast<const std::uint8_t*>(bytes.data())));
  EXPECT_EQ(bytes.substr(0x1000, 4), "hbin");

  std::unique_ptr<hive_h, int (*)(hive_h*)> hive(hivex_open(file.c_str(), HIVEX_OPEN_WRITE),
                                                 hivex_close);
  ASSERT_TRUE(hive);
  const auto root = hivex_root(hive.get());
  ASSERT_NE(root, 0u);
  std::unique_ptr<char, void (*)(void*)> name(hivex_node_name(hive.get(), root), std::free);
  EXPECT_STREQ(name.get(), "$$$PROTO.HIV");
  EXPECT_EQ(hivex_node_nr_children(hive.get(), root), 0u);
  EXPECT_EQ(hivex_node_nr_values(hive.get(), root), 0u);
}

TEST(HiveGenerator, FilledHiveReadsBackThroughAnIndependentReader) {
  TempDir dir;
  const auto file = dir / "filled.hiv";
  testing::MakeTestHive(
      file, {{"ControlSet001\\Services\\atapi",
              {testing::SzValue("Group", "SCSI miniport"), testing::DwordValue("Start", 0)}},
             {"ControlSet002", {}}});
  const auto exported = testing::ExportHive(file);
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\TEST\\ControlSet001\\Services\\atapi]\n"
                          "\"Group\"=hex(1):53,00,43,00,53,00,49,00,20,00,6d,00,69,00,6e,00,69,"
                          "00,70,00,6f,00,72,00,74,00,00,00\n"
                          "\"Start\"=dword:00000000\n"),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\TEST\\ControlSet002]"), std::string::npos);
}

TEST(HiveGenerator, RefusesRootNamesTheFormatCannotHold) {
  EXPECT_THROW(EmptyHiveImage(""), std::invalid_argument);
  EXPECT_THROW(EmptyHiveImage("a\\b"), std::invalid_argument);
  EXPECT_THROW(EmptyHiveImage(std::string(256, 'x')), std::invalid_argument);
}

}  // namespace
}  // namespace ravlin

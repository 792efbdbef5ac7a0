// The check every hive file passes before it is mounted and before a new one takes a hive's
// place: header, checksum, bins, and libhivex opening it.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/posix/registry/hive_generator.hpp"
#include "platform/posix/registry/posix_registry_hive.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {
namespace {

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

void Reseal(std::string& bytes) {
  PutU32(bytes, 0x1FC, HiveHeaderChecksum(reinterpret_cast<const std::uint8_t*>(bytes.data())));
}

std::int32_t CheckOpened(const std::filesystem::path& file) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  return CheckHiveContent(fd.get());
}

TEST(HiveCheck, RefusesHeadersAndBinsThatNoReaderCouldOpenAgain) {
  TempDir dir;
  const auto good = dir / "good";
  MakeTestHive(good, {{"ControlSet001\\Services\\atapi", {SzValue("Group", "SCSI miniport")}},
                      {"Select", {DwordValue("Current", 1)}}});
  EXPECT_EQ(CheckHiveFile(good), 0);
  EXPECT_EQ(CheckOpened(good), 0);
  const auto original = ReadFile(good);

  struct Case {
    std::string what;
    std::function<void(std::string&)> damage;
  };
  const std::vector<Case> cases{
      // The size libFuzzer found: the file is long enough and libhivex opens it.
      {"bins not in whole pages",
       [](std::string& bytes) {
         bytes.resize(0x8000, '\0');
         PutU32(bytes, 0x28, 0x3100);
         Reseal(bytes);
       }},
      {"a bin without its signature", [](std::string& bytes) { bytes.replace(0x1000, 4, "hbiX"); }},
      {"a bin claiming another offset", [](std::string& bytes) { PutU32(bytes, 0x1004, 0x1000); }},
      {"a bin reaching past the others",
       [](std::string& bytes) { PutU32(bytes, 0x1008, static_cast<std::uint32_t>(bytes.size())); }},
  };
  for (const auto& c : cases) {
    auto bytes = original;
    c.damage(bytes);
    const auto file = dir / "damaged";
    WriteFile(file, bytes);
    EXPECT_EQ(CheckOpened(file), kErrorBadDb) << c.what;
    EXPECT_EQ(CheckHiveFile(file), kErrorBadDb) << c.what;
  }
  auto header = original;
  header.resize(0x8000, '\0');
  PutU32(header, 0x28, 0x3100);
  Reseal(header);
  WriteFile(dir / "header", header);
  EXPECT_EQ(CheckHiveHeader(dir / "header"), kErrorBadDb) << "refused before anything is read";
}

}  // namespace
}  // namespace ravlin::testing

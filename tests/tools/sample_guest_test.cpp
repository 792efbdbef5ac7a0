#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/hive_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

ProgramResult Sample(std::vector<std::string> arguments) {
  ProgramRun run;
  run.arguments = {BinPath("ravlin-sample").string()};
  run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
  return RunProgram(run);
}

// One key of an export of the whole hive, up to the blank line after it.
std::string Section(const std::string& exported, const std::string& key) {
  const std::string header = "[HKEY_LOCAL_MACHINE\\TEST\\" + key + "]\n";
  const std::size_t start = exported.find(header);
  if (start == std::string::npos) return {};
  return exported.substr(start, exported.find("\n\n", start) + 1 - start);
}

TEST(SampleGuest, XpLikeTreeWithoutTheChosenDriverFiles) {
  TempDir temp;
  const ProgramResult run =
      Sample({temp.path().string(), "--without", "atapi.sys", "--without", "pciidex.sys"});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const fs::path drivers = temp / "WINDOWS" / "system32" / "drivers";
  EXPECT_FALSE(fs::exists(drivers / "atapi.sys"));
  EXPECT_TRUE(fs::is_regular_file(drivers / "intelide.sys"));
  EXPECT_TRUE(fs::is_regular_file(drivers / "pciide.sys"));
  EXPECT_FALSE(fs::exists(drivers / "pciidex.sys"));
  EXPECT_TRUE(fs::is_regular_file(drivers / "disk.sys"));

  const std::string exported = ExportHive(temp / "WINDOWS" / "system32" / "config" / "system");
  EXPECT_EQ(Section(exported, "Select"),
            "[HKEY_LOCAL_MACHINE\\TEST\\Select]\n\"Current\"=dword:00000001\n"
            "\"Default\"=dword:00000001\n\"Failed\"=dword:00000000\n"
            "\"LastKnownGood\"=dword:00000002\n");
  for (const std::string controlSet : {"ControlSet001", "ControlSet002"}) {
    SCOPED_TRACE(controlSet);
    const std::string pciide = Section(exported, controlSet + "\\Services\\PCIIde");
    EXPECT_NE(pciide.find("\"Start\"=dword:00000004"), std::string::npos) << pciide;
    EXPECT_EQ(pciide.find("ImagePath"), std::string::npos) << pciide;
    EXPECT_NE(Section(exported, controlSet + "\\Services\\atapi"), "");
    EXPECT_NE(Section(exported, controlSet + "\\Services\\Tcpip"), "");
    EXPECT_NE(Section(exported, controlSet + "\\Control\\CriticalDeviceDatabase"), "");
    // Nothing yet for the IDE controllers: that is what the repair adds.
    const std::string devices = controlSet + "\\Control\\CriticalDeviceDatabase\\";
    for (const std::string id : {"primary_ide_channel", "pci#cc_0101", "*pnp0600", "gendisk"})
      EXPECT_EQ(Section(exported, devices + id), "") << id;
  }
  EXPECT_EQ(Section(exported, "ControlSet003"), "");
}

TEST(SampleGuest, RefusesToOverwriteAHiveAndRejectsUnknownFiles) {
  TempDir temp;
  const fs::path hive = temp / "WINDOWS" / "system32" / "config" / "system";
  WriteFile(hive, "a guest's own hive");
  const ProgramResult again = Sample({temp.path().string()});
  EXPECT_NE(again.exitCode, 0);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFile(hive), "a guest's own hive");

  EXPECT_EQ(Sample({(temp / "other").string(), "--without", "hal.dll"}).exitCode, 2);
  EXPECT_EQ(Sample({}).exitCode, 2);
  EXPECT_FALSE(fs::exists(temp / "other"));
}

}  // namespace
}  // namespace ravlin

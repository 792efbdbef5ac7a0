#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/posix_registry_mounts.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

const std::vector<std::string> kDrivers = {"atapi.sys", "intelide.sys", "pciide.sys",
                                           "pciidex.sys"};

// The guest hive as hivexregedit reads it, strings shown as text.
std::string Export(const fs::path& hive) {
  ProgramRun run;
  run.arguments = {"/usr/bin/hivexregedit",
                   "--export",
                   "--unsafe-printable-strings",
                   "--prefix",
                   "HKEY_LOCAL_MACHINE\\SYSTEM",
                   hive.string(),
                   "\\"};
  const ProgramResult result = RunProgram(run);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

// One key of the export, up to the blank line after it; empty when the key is missing.
std::string Section(const std::string& exported, const std::string& key) {
  const std::string header = "[HKEY_LOCAL_MACHINE\\SYSTEM\\" + key + "]\n";
  const std::size_t start = exported.find(header);
  if (start == std::string::npos) return {};
  return exported.substr(start, exported.find("\n\n", start) + 1 - start);
}

// A user's run: a program folder of their own (a copy of the build's programs, its required
// files completed with the driver files), a sample guest that lacks two of the drivers, and
// the console front end answering the dialog and every box itself.
TEST(EndToEnd, ConsoleRepairOfASampleGuest) {
  TempDir temp;
  const fs::path program = temp / "Ravlin program";
  fs::copy(RAVLIN_BIN_DIR, program, fs::copy_options::recursive);
  for (const auto& driver : kDrivers)
    WriteFile(program / "Ravlin_Required_Files" / driver, "shipped " + driver);

  const fs::path drive = temp / "xp";
  ProgramRun sample;
  sample.arguments = {(program / "ravlin-sample").string(),
                      drive.string(),
                      "--without",
                      "atapi.sys",
                      "--without",
                      "pciidex.sys"};
  ASSERT_EQ(RunProgram(sample).exitCode, 0);
  const fs::path hive = drive / "WINDOWS" / "system32" / "config" / "system";
  const fs::path drivers = drive / "WINDOWS" / "system32" / "drivers";
  const std::string untouched = ReadFile(hive);
  const std::string sampleIntelIde = ReadFile(drivers / "intelide.sys");

  ProgramRun repair;
  repair.arguments = {(program / "ravlin").string(), "--console", "--guest",
                      (drive / "WINDOWS").string(), "--yes"};
  repair.environment = {{"RAVLIN_DRIVES", "C=" + drive.string()},
                        {"RAVLIN_REGISTRY", (temp / "registry").string()},
                        {"windir", std::nullopt},
                        {"DISPLAY", std::nullopt},
                        {"WAYLAND_DISPLAY", std::nullopt}};
  repair.workingDirectory = temp.path();
  const ProgramResult result = RunProgram(repair);

  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Operation completed successfully!  Click OK to exit."),
            std::string::npos)
      << result.out;

  const std::string exported = Export(hive);
  for (const std::string controlSet : {"ControlSet001", "ControlSet002"}) {
    SCOPED_TRACE(controlSet);
    const std::string devices = controlSet + "\\Control\\CriticalDeviceDatabase\\";
    EXPECT_NE(Section(exported, devices + "pci#cc_0101").find("\"Service\"=str(1):\"pciide\""),
              std::string::npos)
        << exported;
    EXPECT_NE(Section(exported, devices + "primary_ide_channel").find("\"atapi\""),
              std::string::npos);
    EXPECT_NE(Section(exported, devices + "pci#ven_8086&dev_7111").find("\"intelide\""),
              std::string::npos);
    const std::string pciide = Section(exported, controlSet + "\\Services\\PCIIde");
    EXPECT_NE(pciide.find("\"ImagePath\"=str(2):\"System32\\DRIVERS\\pciide.sys\""),
              std::string::npos)
        << pciide;
    EXPECT_NE(pciide.find("\"Start\"=dword:00000000"), std::string::npos) << pciide;
    EXPECT_NE(Section(exported, controlSet + "\\Services\\Tcpip"), "") << "the rest is kept";
  }
  EXPECT_EQ(Section(exported, "ControlSet003"), "");

  EXPECT_EQ(ReadFile(drivers / "atapi.sys"), "shipped atapi.sys");
  EXPECT_EQ(ReadFile(drivers / "pciidex.sys"), "shipped pciidex.sys");
  EXPECT_EQ(ReadFile(drivers / "intelide.sys"), sampleIntelIde);
  EXPECT_TRUE(MountTable(temp / "registry").Read().empty());
  EXPECT_EQ(ReadFile(hive.string() + ".ravlin-backup"), untouched);
}

}  // namespace
}  // namespace ravlin

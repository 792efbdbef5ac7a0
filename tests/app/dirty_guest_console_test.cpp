// Guests whose SYSTEM hive Windows did not close cleanly, repaired through the console front
// end as a user runs it: the hive recovered from its transaction logs, the backup the hive as
// found, the logs left beside it, and what happened said on the screen and in the record.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/hive_base_block.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/torn_flush.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

class DirtyGuestConsole : public ::testing::Test {
 protected:
  DirtyGuestConsole() {
    fs::copy(RAVLIN_BIN_DIR, program, fs::copy_options::recursive);
    for (const char* driver : {"atapi.sys", "intelide.sys", "pciide.sys", "pciidex.sys"})
      WriteFile(program / "Ravlin_Required_Files" / driver, std::string("shipped ") + driver);
  }

  ProgramResult Ravlin(const std::vector<std::string>& options) {
    ProgramRun run;
    run.arguments = {(program / "ravlin").string(), "--console", "--guest",
                     (drive / "WINDOWS").string()};
    run.arguments.insert(run.arguments.end(), options.begin(), options.end());
    run.environment = {{"RAVLIN_DRIVES", "C=" + drive.string()},
                       {"RAVLIN_REGISTRY", (temp / "registry").string()},
                       {"windir", std::nullopt},
                       {"DISPLAY", std::nullopt},
                       {"WAYLAND_DISPLAY", std::nullopt}};
    run.workingDirectory = temp.path();
    return RunProgram(run);
  }

  fs::path Config() const { return drive / "WINDOWS" / "system32" / "config"; }

  // "[HKEY_LOCAL_MACHINE\TEST\<key>]" and its values, as hivexregedit exports them.
  static std::string Section(const fs::path& hive, const std::string& key) {
    const auto exported = ExportHive(hive);
    const auto start = exported.find("[HKEY_LOCAL_MACHINE\\TEST\\" + key + "]");
    return start == std::string::npos
               ? ""
               : exported.substr(start, exported.find("\n\n", start) - start);
  }

  TempDir temp;
  fs::path program = temp / "program";
  fs::path drive = temp / "c";
};

TEST_F(DirtyGuestConsole, XpGuestWithItsLogIsRepairedAndWithoutItRefusedEvenWhenForced) {
  ProgramRun sample;
  sample.arguments = {(program / "ravlin-sample").string(), drive.string()};
  ASSERT_EQ(RunProgram(sample).exitCode, 0);
  const fs::path hive = Config() / "system";
  const TornFlush flush(hive, temp.path());
  WriteBytes(hive, flush.torn);

  const auto refused = Ravlin({"--force"});
  EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
  EXPECT_NE(refused.out.find("Unknown error loading registry hive, 1015"), std::string::npos)
      << refused.out;
  EXPECT_NE(refused.out.find("cannot be recovered: system.LOG is missing."), std::string::npos)
      << refused.out;
  EXPECT_EQ(ReadBytes(hive), flush.torn);

  WriteBytes(Config() / "system.LOG", flush.log);
  const std::string recoveredLine =
      "The hive was not closed cleanly; recovered from its "
      "transaction logs: " +
      std::to_string(flush.dirtyPages) + " pages from system.LOG.";
  const auto dryRun = Ravlin({"--yes", "--dry-run"});
  EXPECT_NE(dryRun.out.find(recoveredLine), std::string::npos) << dryRun.out;
  EXPECT_EQ(ReadBytes(hive), flush.torn);

  const auto repaired = Ravlin({"--yes"});
  ASSERT_EQ(repaired.exitCode, 0) << repaired.out << repaired.err;
  EXPECT_NE(repaired.out.find(recoveredLine), std::string::npos) << repaired.out;
  EXPECT_NE(ReadFile(drive / "WINDOWS" / "ravlin.log").find("Hive recovery: " + recoveredLine),
            std::string::npos);
  const auto result = ReadBytes(hive);
  EXPECT_FALSE(HiveIsDirty(result));
  EXPECT_NE(Section(hive, "RavlinRecovered").find("\"Note\"="), std::string::npos);
  EXPECT_NE(Section(hive, "ControlSet001\\Services\\PCIIde").find("\"Start\"=dword:00000000"),
            std::string::npos);
  EXPECT_EQ(ReadBytes(Config() / "system.ravlin-backup"), flush.torn);
  EXPECT_EQ(ReadBytes(Config() / "system.LOG"), flush.log);
}

TEST_F(DirtyGuestConsole, Windows10GuestIsRepairedFromItsTwoLogs) {
  fs::create_directories(drive / "WINDOWS" / "system32" / "drivers");
  DecompressTestHive("win10-system-b", Config() / "SYSTEM");
  DecompressTestHive("win10-system-b.LOG1", Config() / "SYSTEM.LOG1");
  DecompressTestHive("win10-system-b.LOG2", Config() / "SYSTEM.LOG2");
  const auto found = ReadBytes(Config() / "SYSTEM");
  const auto log2 = ReadBytes(Config() / "SYSTEM.LOG2");

  const auto repaired = Ravlin({"--force"});
  ASSERT_EQ(repaired.exitCode, 0) << repaired.out << repaired.err;
  EXPECT_NE(repaired.out.find("recovered from its transaction logs: 10 pages from SYSTEM.LOG1 "
                              "(4 entries), 305 pages from SYSTEM.LOG2 (20 entries)."),
            std::string::npos)
      << repaired.out;
  EXPECT_FALSE(HiveIsDirty(ReadBytes(Config() / "SYSTEM")));
  // Windows 10 names the key in lower case.
  EXPECT_NE(Section(Config() / "SYSTEM", "ControlSet001\\Services\\pciide")
                .find("\"Start\"=dword:00000000"),
            std::string::npos);
  EXPECT_EQ(ReadBytes(Config() / "SYSTEM.ravlin-backup"), found);
  EXPECT_EQ(ReadBytes(Config() / "SYSTEM.LOG2"), log2);
}

}  // namespace
}  // namespace ravlin

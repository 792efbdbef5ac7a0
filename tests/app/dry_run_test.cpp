#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "tests/app/console_guest.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

using DryRunConsole = ConsoleGuest;

TEST_F(DryRunConsole, ShowsEachControlSetsDifferenceAndEachDriversSourceTouchingNothing) {
  AddDriverCabinets({"sp1.cab", "sp2.cab"});
  const auto before = Snapshot(drive_);
  const ProgramResult result = Repair({"--dry-run"});

  EXPECT_EQ(Snapshot(drive_), before) << "the guest is byte-equal with its times";
  EXPECT_TRUE(MountTable(temp_ / "registry").Read().empty());
  const std::string& out = result.out;
  EXPECT_NE(out.find("== Ravlin - dry run (information) ==\nDry run for C:\\WINDOWS: nothing in "
                     "the guest was changed."),
            std::string::npos)
      << out;
  for (const std::string n : {"1", "2"}) {
    const std::size_t at = out.find("Control set " + n + " (tarvel00" + n + ".reg): \n[");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string key = "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet00" + n +
                            "\\Control\\CriticalDeviceDatabase\\pci#cc_0101]\n";
    EXPECT_NE(out.find(key, at), std::string::npos) << out;
    EXPECT_NE(out.find("\"Service\"=\"pciide\"", out.find(key, at)), std::string::npos);
  }
  // Only the values the import changes are listed: the kept Tcpip service is not.
  EXPECT_EQ(out.find("Services\\Tcpip]"), std::string::npos);
  for (const auto& driver : kIdeDrivers)
    EXPECT_NE(out.find(driver + ": would be copied from C:\\WINDOWS\\Driver Cache\\i386\\sp2.cab"),
              std::string::npos)
        << out;
  EXPECT_FALSE(fs::exists(windows_ / "ravlin.log"));
  EXPECT_FALSE(fs::exists(hive_.string() + ".ravlin-backup"));
  EXPECT_NE(out.find("A repair would complete."), std::string::npos) << out;
  EXPECT_EQ(result.exitCode, 0) << "a script may go on to repair";
}

TEST_F(DryRunConsole, ARepairThatWouldStopExitsOneSoThatAScriptStops) {
  // No source for the drivers the guest lacks: the repair would stop at its copy.
  const ProgramResult result = Repair({"--dry-run"});

  EXPECT_NE(result.out.find("atapi.sys: no copy found; the repair would stop here"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("A repair would stop"), std::string::npos) << result.out;
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(fs::exists(windows_ / "ravlin.log"));
}

}  // namespace
}  // namespace ravlin

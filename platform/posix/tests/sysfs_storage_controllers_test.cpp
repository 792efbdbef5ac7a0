#include "platform/posix/hardware/sysfs_storage_controllers.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/run_program.hpp"
#include "tests/support/sysfs_tree.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using namespace ravlin::testing;

TEST(SysfsStorageControllers, ListsTheMassStorageDevicesOfACopiedSysfs) {
  const TempDir sysfs;
  MakeSysfsBoard(sysfs.path());
  // A device whose class cannot be read is no controller of ours.
  AddSysfsDevice(sysfs.path(), {"0000:00:03.0", {0x1af4, 0x1042, 0x1af4, 0x1100, 0x01, 0x018000}});
  WriteFile(sysfs / "devices" / "pci0000:00" / "0000:00:03.0" / "class", "storage\n");
  AddSysfsDevice(sysfs.path(), {"0000:00:04.0", {0x1000, 0x0030, 0, 0, 0x08, 0x010000}});
  std::filesystem::remove(sysfs / "devices" / "pci0000:00" / "0000:00:04.0" / "subsystem_vendor");

  const StorageControllerList list = SysfsStorageControllers(sysfs.path()).List();

  EXPECT_EQ(list.unreadable, "");
  ASSERT_EQ(list.controllers.size(), 3u);
  const PciController& ide = list.controllers[0];
  EXPECT_EQ(ide.vendor, 0x8086);
  EXPECT_EQ(ide.device, 0x7111);
  EXPECT_EQ(ide.subsystemVendor, 0x1af4);
  EXPECT_EQ(ide.subsystemDevice, 0x1100);
  EXPECT_EQ(ide.revision, 0x01);
  EXPECT_EQ(ide.classCode, 0x010180u);
  EXPECT_EQ(list.controllers[1].device, 0x0030) << "bus order: 00:04.0 before 00:1f.2";
  EXPECT_EQ(list.controllers[1].subsystemVendor, 0) << "a missing attribute reads as 0";
  EXPECT_EQ(list.controllers[2].device, 0x2922);
  EXPECT_EQ(list.controllers[2].classCode, 0x010601u);
}

TEST(SysfsStorageControllers, AnUnreadableSysfsSaysWhy) {
  const TempDir empty;
  const StorageControllerList missing = SysfsStorageControllers(empty / "nothing").List();
  EXPECT_TRUE(missing.controllers.empty());
  EXPECT_NE(missing.unreadable.find("bus/pci/devices"), std::string::npos) << missing.unreadable;

  // A board without storage on PCI is read, and is empty.
  AddSysfsDevice(empty.path(), {"0000:00:02.0", {0x1234, 0x1111, 0, 0, 0, 0x030000}});
  const StorageControllerList none = SysfsStorageControllers(empty.path()).List();
  EXPECT_EQ(none.unreadable, "");
  EXPECT_TRUE(none.controllers.empty());
}

TEST(SysfsStorageControllers, ThisMachineAgreesWithTheShell) {
  // The shell reads the same attribute files on its own: vendor and device of class 01.
  ProgramRun run;
  run.arguments = {"/bin/sh", "-c",
                   "for d in /sys/bus/pci/devices/*; do case $(cat $d/class) in 0x01*) "
                   "echo $(cat $d/vendor) $(cat $d/device);; esac; done"};
  const ProgramResult shell = RunProgram(run);
  ASSERT_EQ(shell.exitCode, 0) << shell.err;

  std::ostringstream ours;
  for (const PciController& c : SysfsStorageControllers("/sys").List().controllers) {
    char line[32];
    std::snprintf(line, sizeof line, "0x%04x 0x%04x\n", c.vendor, c.device);
    ours << line;
  }
  EXPECT_EQ(ours.str(), shell.out);
}

}  // namespace
}  // namespace ravlin

#include <gtest/gtest.h>

#include "platform/win32/hardware/setupapi_storage_controllers.hpp"

namespace ravlin {
namespace {

TEST(SetupApiStorageControllers, TheIdentityComesFromTheHardwareIds) {
  PciController ahci;
  ASSERT_TRUE(PciControllerFromHardwareIds(
      {"PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043&REV_02", "PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043",
       "PCI\\VEN_8086&DEV_2922&CC_010601", "PCI\\VEN_8086&DEV_2922&CC_0106"},
      ahci));
  EXPECT_EQ(ahci.vendor, 0x8086);
  EXPECT_EQ(ahci.device, 0x2922);
  EXPECT_EQ(ahci.subsystemDevice, 0x82D4);
  EXPECT_EQ(ahci.subsystemVendor, 0x1043);
  EXPECT_EQ(ahci.revision, 0x02);
  EXPECT_EQ(ahci.classCode, 0x010601u);

  // The class may come from the compatible IDs only; case is ignored.
  PciController ide;
  ASSERT_TRUE(PciControllerFromHardwareIds(
      {"pci\\ven_8086&dev_7111&rev_01", "PCI\\VEN_8086&DEV_7111", "PCI\\CC_010180"}, ide));
  EXPECT_EQ(ide.classCode, 0x010180u);
  EXPECT_EQ(ide.subsystemVendor, 0);

  // Without a class, or with damaged digits, it is no PCI identity.
  PciController none;
  EXPECT_FALSE(PciControllerFromHardwareIds({"PCI\\VEN_8086&DEV_7111&REV_01"}, none));
  EXPECT_FALSE(PciControllerFromHardwareIds({"PCI\\VEN_80G6&DEV_7111&CC_0101"}, none));
  EXPECT_FALSE(PciControllerFromHardwareIds({"USB\\VEN_8086&DEV_7111&CC_010180"}, none));
}

}  // namespace
}  // namespace ravlin

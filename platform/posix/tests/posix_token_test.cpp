#include <gtest/gtest.h>

#include "platform/posix/registry/posix_token.hpp"

namespace ravlin {
namespace {

class PosixTokenTest : public ::testing::Test {
 protected:
  std::shared_ptr<PrivilegeState> privileges = std::make_shared<PrivilegeState>();
  PosixToken token{privileges};
};

TEST_F(PosixTokenTest, LooksUpTheTwoHivePrivilegesOnTheLocalComputerOnly) {
  Luid restore, backup, other;
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore));
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "sebackupprivilege", backup));
  EXPECT_NE(restore.lowPart, backup.lowPart);
  EXPECT_NE(restore.lowPart, 0u);
  EXPECT_FALSE(token.LookupPrivilegeValueA("", "SeTcbPrivilege", other));
  EXPECT_EQ(token.GetLastError(), 1313u);
  EXPECT_FALSE(token.LookupPrivilegeValueA("FILESERVER", "SeRestorePrivilege", other));
  EXPECT_NE(token.GetLastError(), 0u);
}

TEST_F(PosixTokenTest, AdjustingEnablesAndDisablesTheHiveCalls) {
  Handle handle = 0;
  Luid restore, backup;
  ASSERT_TRUE(token.OpenProcessToken(token.GetCurrentProcess(), 0x28, handle));
  ASSERT_NE(handle, 0u);
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore));
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeBackupPrivilege", backup));

  TokenPrivileges onlyRestore{1, {{{restore, kSePrivilegeEnabled}, {}}}};
  ASSERT_TRUE(token.AdjustTokenPrivileges(handle, false, onlyRestore, kTokenPrivilegesSize));
  EXPECT_FALSE(privileges->HiveCallsAllowed());

  TokenPrivileges both{2, {{{restore, kSePrivilegeEnabled}, {backup, kSePrivilegeEnabled}}}};
  ASSERT_TRUE(token.AdjustTokenPrivileges(handle, false, both, kTokenPrivilegesSize));
  EXPECT_EQ(token.GetLastError(), 0u);
  EXPECT_TRUE(privileges->HiveCallsAllowed());

  ASSERT_TRUE(token.AdjustTokenPrivileges(handle, true, both, kTokenPrivilegesSize));
  EXPECT_FALSE(privileges->HiveCallsAllowed());
}

TEST_F(PosixTokenTest, UnknownPrivilegesAreNotAssignedYetTheCallSucceeds) {
  Handle handle = 0;
  Luid restore;
  ASSERT_TRUE(token.OpenProcessToken(token.GetCurrentProcess(), 0x28, handle));
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore));
  // A look-up that failed leaves an identifier of zero in the record.
  TokenPrivileges record{2, {{{restore, kSePrivilegeEnabled}, {Luid{}, kSePrivilegeEnabled}}}};
  EXPECT_TRUE(token.AdjustTokenPrivileges(handle, false, record, kTokenPrivilegesSize));
  EXPECT_EQ(token.GetLastError(), 1300u);
  EXPECT_FALSE(privileges->HiveCallsAllowed());
}

TEST_F(PosixTokenTest, ABadTokenHandleFailsWithInvalidHandle) {
  Handle handle = 0;
  EXPECT_FALSE(token.AdjustTokenPrivileges(0, false, TokenPrivileges{}, kTokenPrivilegesSize));
  EXPECT_EQ(token.GetLastError(), 6u);
  EXPECT_FALSE(token.OpenProcessToken(12345, 0x28, handle));
  EXPECT_EQ(token.GetLastError(), 6u);
  EXPECT_FALSE(token.AdjustTokenPrivileges(0, true, TokenPrivileges{}, kTokenPrivilegesSize));
  EXPECT_EQ(token.GetLastError(), 6u);
}

}  // namespace
}  // namespace ravlin

#pragma once

#include <gtest/gtest.h>

#include "platform/token.hpp"

namespace ravlin::testing {

// Enables SeRestorePrivilege and SeBackupPrivilege in the process token, as a repair does
// before it loads a hive; with `enable` false, disables every privilege of the token. The
// token's last error tells afterwards whether all were assigned.
inline void SetHivePrivileges(Token& token, bool enable) {
  Handle process = 0;
  ASSERT_TRUE(token.OpenProcessToken(token.GetCurrentProcess(),
                                     kTokenAdjustPrivileges | kTokenQuery, process));
  ASSERT_NE(process, 0u);
  TokenPrivileges privileges;
  privileges.privilegeCount = 2;
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", privileges.privileges[0].luid));
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeBackupPrivilege", privileges.privileges[1].luid));
  privileges.privileges[0].attributes = privileges.privileges[1].attributes = kSePrivilegeEnabled;
  ASSERT_TRUE(token.AdjustTokenPrivileges(process, !enable, privileges, kTokenPrivilegesSize));
}

}  // namespace ravlin::testing

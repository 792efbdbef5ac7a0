#include <gtest/gtest.h>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {
namespace {

constexpr std::uint32_t kErrorNotAllAssigned = 1300;
constexpr std::uint32_t kErrorNoSuchPrivilege = 1313;

using TokenContractTest = ContractTest;

TEST_F(TokenContractTest, TheHivePrivilegesLookUpAndAnUnknownOneFails) {
  Token& token = *platform_.token;
  Luid restore;
  Luid backup;
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore));
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeBackupPrivilege", backup));
  EXPECT_FALSE(restore.lowPart == backup.lowPart && restore.highPart == backup.highPart);
  Luid again;
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "serestoreprivilege", again));
  EXPECT_EQ(again.lowPart, restore.lowPart);
  EXPECT_EQ(again.highPart, restore.highPart);

  Luid unknown;
  EXPECT_FALSE(token.LookupPrivilegeValueA("", "SeNoSuchPrivilege", unknown));
  EXPECT_EQ(token.GetLastError(), kErrorNoSuchPrivilege);
}

TEST_F(TokenContractTest, TheProcessTokenTakesBothPrivilegesAndNoTokenIsRefused) {
  Token& token = *platform_.token;
  Handle process = 0;
  ASSERT_TRUE(token.OpenProcessToken(token.GetCurrentProcess(),
                                     kTokenAdjustPrivileges | kTokenQuery, process));
  EXPECT_NE(process, 0u);
  TokenPrivileges privileges;
  privileges.privilegeCount = 2;
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", privileges.privileges[0].luid));
  ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeBackupPrivilege", privileges.privileges[1].luid));
  privileges.privileges[0].attributes = privileges.privileges[1].attributes = kSePrivilegeEnabled;
  // A user without the privileges gets a success that says not all were assigned.
  EXPECT_TRUE(token.AdjustTokenPrivileges(process, false, privileges, kTokenPrivilegesSize));
  EXPECT_TRUE(token.GetLastError() == 0 || token.GetLastError() == kErrorNotAllAssigned)
      << token.GetLastError();
  EXPECT_TRUE(token.AdjustTokenPrivileges(process, true, privileges, kTokenPrivilegesSize));

  EXPECT_FALSE(token.AdjustTokenPrivileges(0, false, privileges, kTokenPrivilegesSize));
  EXPECT_EQ(token.GetLastError(), 6u);
}

}  // namespace
}  // namespace ravlin::testing

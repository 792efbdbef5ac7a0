#include <gtest/gtest.h>

#include "tests/contract/contract_fixture.hpp"
#include "tests/contract/hive_privileges.hpp"

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
  SetHivePrivileges(token, true);
  // A user without the privileges gets a success that says not all were assigned.
  EXPECT_TRUE(token.GetLastError() == 0 || token.GetLastError() == kErrorNotAllAssigned)
      << token.GetLastError();
  SetHivePrivileges(token, false);

  EXPECT_FALSE(token.AdjustTokenPrivileges(0, false, TokenPrivileges{}, kTokenPrivilegesSize));
  EXPECT_EQ(token.GetLastError(), 6u);
}

}  // namespace
}  // namespace ravlin::testing

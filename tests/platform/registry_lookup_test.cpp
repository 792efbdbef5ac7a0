#include <gtest/gtest.h>

#include <string>

#include "tests/platform/registry_fixture.hpp"

namespace ravlin::testing {
namespace {

// While a key of the hive stays open, the hive stays in memory and subkeys are found by name
// from what was read before: these cases change the subkeys between lookups.
class RegistryLookup : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    held = Create(kHkeyLocalMachine, "Database");
    for (int i = 0; i < 300; ++i) registry->RegCloseKey(Create(held, "entry" + std::to_string(i)));
  }
  void TearDown() override { EXPECT_EQ(registry->RegCloseKey(held), 0); }

  std::int32_t Open(RegKey from, const std::string& path) {
    RegKey key = 0;
    const auto status = registry->RegOpenKeyExA(from, path, 0, kKeyQueryValue, key);
    if (status == 0) registry->RegCloseKey(key);
    return status;
  }
  std::uint32_t CreateDisposition(RegKey from, const std::string& path) {
    RegKey key = 0;
    std::uint32_t disposition = 0;
    EXPECT_EQ(registry->RegCreateKeyExA(from, path, "", 0, kKeyAllAccess, key, &disposition), 0);
    registry->RegCloseKey(key);
    return disposition;
  }

  RegKey held = 0;
};

TEST_F(RegistryLookup, NewKeysAreFoundInAnyCaseAmongManySiblings) {
  EXPECT_EQ(Open(held, "ENTRY299"), 0);
  EXPECT_EQ(Open(held, "entry300"), kErrorFileNotFound);
  // "Café" created after its siblings were read; found as "CAFÉ" (Windows-1252 names).
  EXPECT_EQ(CreateDisposition(held, "Caf\xE9\\Sub"), 1u);
  EXPECT_EQ(Open(held, "CAF\xC9\\sub"), 0);
  EXPECT_EQ(CreateDisposition(held, "caf\xC9"), 2u);
  EXPECT_EQ(Open(kHkeyLocalMachine, "database\\caf\xE9\\SUB"), 0);
}

TEST_F(RegistryLookup, DeletedKeysAreGoneAndMayBeMadeAgain) {
  ASSERT_EQ(Open(held, "entry7"), 0);
  ASSERT_EQ(CreateDisposition(held, "entry7\\Inner\\Deepest"), 1u);
  ASSERT_EQ(registry->RegDeleteTreeA(held, "ENTRY7"), 0);
  EXPECT_EQ(Open(held, "entry7"), kErrorFileNotFound);
  EXPECT_EQ(Open(held, "entry8"), 0);
  EXPECT_EQ(CreateDisposition(held, "Entry7"), 1u);
  EXPECT_EQ(Open(held, "entry7\\Inner"), kErrorFileNotFound) << "a new key has no old subkeys";

  // An empty path empties the held key itself.
  ASSERT_EQ(registry->RegDeleteTreeA(held, ""), 0);
  EXPECT_EQ(Open(held, "entry8"), kErrorFileNotFound);
  EXPECT_EQ(CreateDisposition(held, "entry8"), 1u);
  EXPECT_EQ(Open(held, "ENTRY8"), 0);
}

}  // namespace
}  // namespace ravlin::testing

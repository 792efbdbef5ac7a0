#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/contract/contract_fixture.hpp"
#include "tests/contract/hive_privileges.hpp"

namespace ravlin::testing {
namespace {

// Every test works below a key of its own under HKCU\Software, deleted at the end.
class RegistryContractTest : public ContractTest {
 protected:
  void SetUp() override {
    ContractTest::SetUp();
    registry_ = platform_.registry.get();
    base_ = "Software\\RavlinContract-" + std::to_string(std::random_device()());
    ASSERT_EQ(
        registry_->RegCreateKeyExA(kHkeyCurrentUser, base_, "", 0, kKeyAllAccess, key_, nullptr),
        kErrorSuccess);
  }
  void TearDown() override {
    registry_->RegCloseKey(key_);
    EXPECT_EQ(registry_->RegDeleteTreeA(kHkeyCurrentUser, base_), kErrorSuccess);
    ContractTest::TearDown();
  }

  RegKey Create(const std::string& path, std::uint32_t* disposition = nullptr) {
    RegKey created = 0;
    EXPECT_EQ(registry_->RegCreateKeyExA(key_, path, "", 0, kKeyAllAccess, created, disposition),
              kErrorSuccess)
        << path;
    return created;
  }
  std::int32_t Set(RegKey key, const std::string& name, std::uint32_t type,
                   const std::string& data) {
    return registry_->RegSetValueExA(key, name, type,
                                     reinterpret_cast<const std::uint8_t*>(data.data()),
                                     static_cast<std::uint32_t>(data.size()));
  }
  // The value's data as the A call returns it, after asking for its size first.
  std::string Query(RegKey key, const std::string& name, std::uint32_t* type = nullptr) {
    std::uint32_t size = 0;
    EXPECT_EQ(registry_->RegQueryValueExA(key, name, type, nullptr, &size), kErrorSuccess) << name;
    std::string data(size, '\0');
    std::uint32_t room = size;
    EXPECT_EQ(registry_->RegQueryValueExA(key, name, nullptr,
                                          reinterpret_cast<std::uint8_t*>(data.data()), &room),
              kErrorSuccess);
    EXPECT_EQ(room, size);
    return data;
  }
  std::vector<std::string> SubKeys(RegKey key) {
    std::vector<std::string> names;
    std::string name;
    std::uint32_t index = 0;
    std::int32_t status = kErrorSuccess;
    while ((status = registry_->RegEnumKeyA(key, index++, name, 256)) == kErrorSuccess)
      names.push_back(name);
    EXPECT_EQ(status, kErrorNoMoreItems);
    std::sort(names.begin(), names.end());
    return names;
  }

  Registry* registry_ = nullptr;
  std::string base_;
  RegKey key_ = 0;
};

TEST_F(RegistryContractTest, KeysAreCreatedOpenedIgnoringCaseAndEnumerated) {
  std::uint32_t disposition = 0;
  const RegKey alpha = Create("Alpha", &disposition);
  EXPECT_EQ(disposition, 1u) << "created";
  EXPECT_EQ(registry_->RegCloseKey(alpha), kErrorSuccess);
  EXPECT_EQ(registry_->RegCloseKey(alpha), kErrorInvalidHandle);
  EXPECT_EQ(registry_->RegCloseKey(Create("alpha", &disposition)), kErrorSuccess);
  EXPECT_EQ(disposition, 2u) << "opened";
  // Names cross as UTF-8, whatever the system's code page.
  const std::string greek = "Κλειδί";
  EXPECT_EQ(registry_->RegCloseKey(Create("Beta\\" + greek)), kErrorSuccess);

  RegKey opened = 0;
  ASSERT_EQ(registry_->RegOpenKeyExA(kHkeyCurrentUser, base_ + "\\BETA\\κλειδί", 0, kKeyQueryValue,
                                     opened),
            kErrorSuccess);
  EXPECT_EQ(registry_->RegCloseKey(opened), kErrorSuccess);
  EXPECT_EQ(registry_->RegOpenKeyExA(key_, "Beta\\Missing", 0, kKeyQueryValue, opened),
            kErrorFileNotFound);
  EXPECT_EQ(registry_->RegOpenKeyExA(alpha, "", 0, kKeyQueryValue, opened), kErrorInvalidHandle);

  EXPECT_EQ(SubKeys(key_), (std::vector<std::string>{"Alpha", "Beta"}));
  RegKey beta = 0;
  ASSERT_EQ(registry_->RegOpenKeyExA(key_, "Beta", 0, kKeyEnumerateSubKeys, beta), kErrorSuccess);
  std::string name = "unchanged";
  // The buffer counts UTF-8 bytes and the NUL: 12 bytes for six Greek letters.
  EXPECT_EQ(registry_->RegEnumKeyA(beta, 0, name, 12), kErrorMoreData);
  EXPECT_EQ(name, "unchanged");
  EXPECT_EQ(registry_->RegEnumKeyA(beta, 0, name, 13), kErrorSuccess);
  EXPECT_EQ(name, greek);
  EXPECT_EQ(registry_->RegEnumKeyA(beta, 1, name, 256), kErrorNoMoreItems);
  EXPECT_EQ(registry_->RegCloseKey(beta), kErrorSuccess);
}

TEST_F(RegistryContractTest, StringsCrossAsUtf8AndOtherTypesAsStored) {
  const std::string greek = std::string("Καλημέρα κόσμε") + '\0';
  const std::string cyrillic = std::string("Привет, мир") + '\0';
  // The literal's own NUL ends the list.
  const char kList[] = "один\0δύο\0three\0";
  const std::string multi(kList, sizeof kList);
  ASSERT_EQ(Set(key_, "Greek", kRegSz, greek), kErrorSuccess);
  ASSERT_EQ(Set(key_, "Путь", kRegExpandSz, cyrillic), kErrorSuccess);
  ASSERT_EQ(Set(key_, "List", kRegMultiSz, multi), kErrorSuccess);
  const std::uint32_t number = 0x12345678;
  ASSERT_EQ(registry_->RegSetValueExA(key_, "Number", kRegDword,
                                      reinterpret_cast<const std::uint8_t*>(&number), 4),
            kErrorSuccess);
  const std::string binary("\x00\xFF\x10\x80\x00", 5);
  ASSERT_EQ(Set(key_, "Bytes", kRegBinary, binary), kErrorSuccess);
  // The W call stores UTF-16LE as given; the A call returns it as UTF-8.
  const std::u16string omega = u"Ωmega";
  ASSERT_EQ(registry_->RegSetValueExW(key_, "Wide", kRegSz,
                                      reinterpret_cast<const std::uint8_t*>(omega.c_str()),
                                      static_cast<std::uint32_t>((omega.size() + 1) * 2)),
            kErrorSuccess);

  std::uint32_t type = 0;
  EXPECT_EQ(Query(key_, "greek", &type), greek);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(Query(key_, "ПУТЬ", &type), cyrillic);
  EXPECT_EQ(type, kRegExpandSz);
  EXPECT_EQ(Query(key_, "List", &type), multi);
  EXPECT_EQ(type, kRegMultiSz);
  EXPECT_EQ(Query(key_, "Number", &type), std::string("\x78\x56\x34\x12", 4));
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(Query(key_, "Bytes", &type), binary);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(Query(key_, "Wide"), std::string("Ωmega") + '\0');

  // Too small a buffer: 234, the size needed, and nothing written.
  std::string shortBuffer(4, '#');
  std::uint32_t room = 4;
  EXPECT_EQ(registry_->RegQueryValueExA(key_, "Greek", &type,
                                        reinterpret_cast<std::uint8_t*>(shortBuffer.data()), &room),
            kErrorMoreData);
  EXPECT_EQ(room, greek.size());
  // The type alone.
  type = 0;
  EXPECT_EQ(registry_->RegQueryValueExA(key_, "Number", &type, nullptr, nullptr), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);

  EXPECT_EQ(registry_->RegQueryValueExA(key_, "Missing", nullptr, nullptr, &room),
            kErrorFileNotFound);
  EXPECT_EQ(registry_->RegDeleteValueA(key_, "GREEK"), kErrorSuccess);
  EXPECT_EQ(registry_->RegQueryValueExA(key_, "Greek", nullptr, nullptr, &room),
            kErrorFileNotFound);
  EXPECT_EQ(registry_->RegDeleteValueA(key_, "Greek"), kErrorFileNotFound);
}

TEST_F(RegistryContractTest, AKeyOpenedToReadRefusesWrites) {
  RegKey reading = 0;
  ASSERT_EQ(registry_->RegOpenKeyExA(key_, "", 0, kKeyQueryValue, reading), kErrorSuccess);
  EXPECT_EQ(Set(reading, "Value", kRegSz, std::string("x") + '\0'), kErrorAccessDenied);
  EXPECT_EQ(registry_->RegCloseKey(reading), kErrorSuccess);
}

TEST_F(RegistryContractTest, DeleteTreeTakesEverythingBelowAndEmptiesAKeyWithoutSubkey) {
  const RegKey deep = Create("Tree\\Branch\\Leaf");
  ASSERT_EQ(Set(deep, "Value", kRegSz, std::string("leaf") + '\0'), kErrorSuccess);
  const RegKey tree = Create("Tree");
  ASSERT_EQ(Set(tree, "Value", kRegSz, std::string("tree") + '\0'), kErrorSuccess);
  EXPECT_EQ(registry_->RegCloseKey(Create("Tree\\Other")), kErrorSuccess);

  // No subkey: the key loses its subkeys and values and stays.
  EXPECT_EQ(registry_->RegDeleteTreeA(tree, ""), kErrorSuccess);
  EXPECT_EQ(SubKeys(tree), std::vector<std::string>{});
  std::uint32_t size = 0;
  EXPECT_EQ(registry_->RegQueryValueExA(tree, "Value", nullptr, nullptr, &size),
            kErrorFileNotFound);
  // A handle to a deleted key stays a handle that reaches nothing.
  EXPECT_EQ(Set(deep, "Value", kRegSz, std::string("x") + '\0'), kErrorKeyDeleted);
  EXPECT_EQ(registry_->RegCloseKey(deep), kErrorSuccess);
  EXPECT_EQ(registry_->RegCloseKey(Create("Tree\\Again\\Deeper")), kErrorSuccess);
  EXPECT_EQ(registry_->RegCloseKey(tree), kErrorSuccess);

  EXPECT_EQ(registry_->RegDeleteTreeA(key_, "tree"), kErrorSuccess);
  RegKey gone = 0;
  EXPECT_EQ(registry_->RegOpenKeyExA(key_, "Tree", 0, kKeyQueryValue, gone), kErrorFileNotFound);
  EXPECT_EQ(registry_->RegDeleteTreeA(key_, "Tree"), kErrorFileNotFound);
  EXPECT_EQ(SubKeys(key_), std::vector<std::string>{});
}

TEST_F(RegistryContractTest, FlushedAndClosedChangesReachAnotherRegistryObject) {
  const RegKey key = Create("Durable");
  ASSERT_EQ(Set(key, "Flushed", kRegSz, std::string("yes") + '\0'), kErrorSuccess);
  EXPECT_EQ(registry_->RegFlushKey(key), kErrorSuccess);
  EXPECT_EQ(registry_->RegCloseKey(key), kErrorSuccess);

  PlatformOptions options = PlatformOptions::FromEnvironment();
  options.drives = "T=" + root_.string();
  options.registryStore = root_ / "registry-store";
  const Platform other = MakePlatform(std::make_shared<UnansweredUi>(), options);
  RegKey read = 0;
  ASSERT_EQ(
      other.registry->RegOpenKeyExA(kHkeyCurrentUser, base_ + "\\Durable", 0, kKeyQueryValue, read),
      kErrorSuccess);
  char data[8] = {};
  std::uint32_t size = sizeof data;
  EXPECT_EQ(other.registry->RegQueryValueExA(read, "Flushed", nullptr,
                                             reinterpret_cast<std::uint8_t*>(data), &size),
            kErrorSuccess);
  EXPECT_EQ(std::string(data, size), std::string("yes") + '\0');
  EXPECT_EQ(other.registry->RegCloseKey(read), kErrorSuccess);
}

TEST_F(RegistryContractTest, AFailedLoadLeavesNoKeyAndTheFileUnchanged) {
  const std::string name = "RavlinContract-" + std::to_string(std::random_device()());
  EXPECT_EQ(registry_->RegLoadKeyA(kHkeyCurrentUser, name, PathOf("hive")), kErrorInvalidParameter);
  EXPECT_EQ(registry_->RegLoadKeyA(kHkeyLocalMachine, name + "\\Below", PathOf("hive")),
            kErrorInvalidParameter);
  EXPECT_EQ(registry_->RegUnLoadKeyA(kHkeyCurrentUser, name), kErrorInvalidParameter);

  SetHivePrivileges(*platform_.token, true);

  EXPECT_EQ(registry_->RegLoadKeyA(kHkeyLocalMachine, name, PathOf("missing")), kErrorFileNotFound);
  const std::string garbage(8192, 'x');
  std::ofstream(NativeOf("garbage"), std::ios::binary) << garbage;
  EXPECT_NE(registry_->RegLoadKeyA(kHkeyLocalMachine, name, PathOf("garbage")), kErrorSuccess);
  RegKey left = 0;
  EXPECT_EQ(registry_->RegOpenKeyExA(kHkeyLocalMachine, name, 0, kKeyQueryValue, left),
            kErrorFileNotFound);
  std::ifstream in(NativeOf("garbage"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
  SetHivePrivileges(*platform_.token, false);
}

TEST_F(RegistryContractTest, OneRepairAtATimeHoldsTheRegistry) {
  auto first = registry_->ClaimForRepair();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(registry_->ClaimForRepair(), nullptr);
  first.reset();
  EXPECT_NE(registry_->ClaimForRepair(), nullptr);
}

}  // namespace
}  // namespace ravlin::testing

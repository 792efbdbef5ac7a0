#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/posix_token.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// A registry store and a drive C: in a fresh folder, with the real Linux backend.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(drive);
    registry = NewRegistry();
  }

  // Another registry object on the same store: what the next run of the program sees.
  std::unique_ptr<PosixRegistry> NewRegistry() {
    return std::make_unique<PosixRegistry>(
        store, std::make_shared<DriveTable>("C=" + drive.string()), privileges);
  }

  // Enables both hive privileges through the token, as the program does at start-up.
  void EnablePrivileges() {
    PosixToken token(privileges);
    Handle handle = 0;
    Luid restore, backup;
    ASSERT_TRUE(token.OpenProcessToken(token.GetCurrentProcess(), 0x28, handle));
    ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore));
    ASSERT_TRUE(token.LookupPrivilegeValueA("", "SeBackupPrivilege", backup));
    const TokenPrivileges record{2,
                                 {{{restore, kSePrivilegeEnabled}, {backup, kSePrivilegeEnabled}}}};
    ASSERT_TRUE(token.AdjustTokenPrivileges(handle, false, record, kTokenPrivilegesSize));
  }

  // The guest's SYSTEM hive at C:\WINDOWS\system32\config\system.
  std::filesystem::path GuestHivePath() const {
    return drive / "WINDOWS" / "system32" / "config" / "system";
  }
  static constexpr const char* kGuestHiveText = "C:\\WINDOWS\\system32\\config\\system";

  std::filesystem::path MakeGuestHive(const std::vector<TestKey>& keys) {
    const auto file = GuestHivePath();
    std::filesystem::create_directories(file.parent_path());
    MakeTestHive(file, keys);
    return file;
  }

  RegKey Create(RegKey root, const std::string& path) {
    RegKey key = 0;
    EXPECT_EQ(registry->RegCreateKeyExA(root, path, "", 0, kKeyAllAccess, key, nullptr), 0) << path;
    return key;
  }

  std::int32_t SetString(RegKey key, const std::string& name, const std::string& ansi) {
    const std::string data = ansi + '\0';
    return registry->RegSetValueExA(key, name, kRegSz,
                                    reinterpret_cast<const std::uint8_t*>(data.data()),
                                    static_cast<std::uint32_t>(data.size()));
  }

  // The value as RegQueryValueExA gives it, asked for its size first.
  std::int32_t Query(RegKey key, const std::string& name, std::vector<std::uint8_t>& data,
                     std::uint32_t* type = nullptr) {
    std::uint32_t size = 0;
    auto status = registry->RegQueryValueExA(key, name, type, nullptr, &size);
    if (status != 0) return status;
    data.assign(size, 0xCC);
    status = registry->RegQueryValueExA(key, name, type, data.data(), &size);
    data.resize(size);
    return status;
  }

  TempDir dir;
  std::filesystem::path store = dir / "store";
  std::filesystem::path drive = dir / "c";
  std::shared_ptr<PrivilegeState> privileges = std::make_shared<PrivilegeState>();
  std::unique_ptr<PosixRegistry> registry;
};

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace ravlin::testing

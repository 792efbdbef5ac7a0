#include "platform/win32/registry/win32_hive_reader.hpp"

#include <windows.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/win32/registry/stored_values.hpp"
#include "platform/win32/registry/token_privileges.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// Enables SeRestorePrivilege and SeBackupPrivilege while it lives and then puts back what
// the token had before.
class HivePrivileges {
 public:
  HivePrivileges() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
      return;
    token_ = UniqueHandle(token);
    TwoTokenPrivileges wanted;
    for (const wchar_t* name : {SE_RESTORE_NAME, SE_BACKUP_NAME}) {
      auto& entry = wanted.Privileges[wanted.PrivilegeCount];
      if (!::LookupPrivilegeValueW(nullptr, name, &entry.Luid)) continue;
      entry.Attributes = SE_PRIVILEGE_ENABLED;
      ++wanted.PrivilegeCount;
    }
    DWORD size = sizeof(previous_);
    adjusted_ = ::AdjustTokenPrivileges(token_.Get(), FALSE, wanted.get(), sizeof(previous_),
                                        previous_.get(), &size) != FALSE;
  }
  HivePrivileges(const HivePrivileges&) = delete;
  HivePrivileges& operator=(const HivePrivileges&) = delete;
  ~HivePrivileges() {
    if (adjusted_)
      ::AdjustTokenPrivileges(token_.Get(), FALSE, previous_.get(), 0, nullptr, nullptr);
  }

 private:
  UniqueHandle token_;
  TwoTokenPrivileges previous_;
  bool adjusted_ = false;
};

// A folder of its own for the copy and whatever the loader writes beside it (its log, the
// registry backend's backup), removed with all of it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    std::error_code error;
    path_ =
        std::filesystem::temp_directory_path(error) /
        ("ravlin-hive-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(random()));
    if (error || !std::filesystem::create_directory(path_, error) || error) path_.clear();
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A hive loaded below HKLM, unloaded when this goes.
class LoadedCopy {
 public:
  LoadedCopy(Registry& registry, const std::filesystem::path& file) : registry_(registry) {
    std::random_device random;
    name_ = "Ravlin-HiveReader-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(random());
    loaded_ =
        registry_.RegLoadKeyA(kHkeyLocalMachine, name_, Narrow(file.wstring())) == kErrorSuccess;
  }
  LoadedCopy(const LoadedCopy&) = delete;
  LoadedCopy& operator=(const LoadedCopy&) = delete;
  ~LoadedCopy() {
    if (loaded_) registry_.RegUnLoadKeyA(kHkeyLocalMachine, name_);
  }
  bool loaded() const { return loaded_; }
  const std::string& name() const { return name_; }

 private:
  Registry& registry_;
  std::string name_;
  bool loaded_ = false;
};

// "\A\\B\" -> "A\B": the loader takes no empty components.
std::wstring KeyPathBelow(const std::string& root, const std::string& keyPath) {
  std::string path = root;
  std::size_t start = 0;
  while (start < keyPath.size()) {
    const std::size_t end = std::min(keyPath.find('\\', start), keyPath.size());
    if (end > start) path.append(1, '\\').append(keyPath, start, end - start);
    start = end + 1;
  }
  return Wide(path);
}

std::optional<HiveValue> ValueOf(HKEY key, const std::wstring& name) {
  HiveValue value;
  if (QueryStoredValue(key, name, value.type, value.data) != ERROR_SUCCESS) return std::nullopt;
  value.name = Narrow(name);
  return value;
}

bool ReadKey(HKEY key, const std::string& path, std::vector<HiveKey>& keys) {
  HiveKey read{path, {}};
  std::vector<wchar_t> name(kLongestValueName + 1);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    const LONG status =
        ::RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) return false;
    auto value = ValueOf(key, std::wstring(name.data(), length));
    if (!value) return false;
    read.values.push_back(std::move(*value));
  }
  keys.push_back(std::move(read));
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG status =
        ::RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) return false;
    HKEY opened = nullptr;
    status = ::RegOpenKeyExW(key, name.data(), 0, KEY_READ, &opened);
    if (status != ERROR_SUCCESS) return false;
    const OwnedKey child(opened);
    const std::string childName = Narrow(std::wstring_view(name.data(), length));
    if (!ReadKey(child.get(), path.empty() ? childName : path + "\\" + childName, keys))
      return false;
  }
}

}  // namespace

Win32HiveReader::Win32HiveReader(std::shared_ptr<Registry> registry)
    : registry_(std::move(registry)) {}

bool Win32HiveReader::WithKey(const std::string& file, const std::string& keyPath,
                              const std::function<void(HKEY__* key)>& read) {
  const ScratchFolder scratch;
  if (scratch.path().empty()) return false;
  const auto copy = scratch.path() / L"hive";
  if (!::CopyFileW(Wide(file).c_str(), copy.c_str(), TRUE)) return false;
  // The loader opens its file for writing, which a read-only attribute copied along refuses.
  if (!::SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL)) return false;
  const HivePrivileges privileges;
  const LoadedCopy loaded(*registry_, copy);
  if (!loaded.loaded()) return false;
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPathBelow(loaded.name(), keyPath).c_str(), 0, KEY_READ,
                      &opened) != ERROR_SUCCESS)
    return false;
  // Closed before the unload, which refuses a hive with keys open.
  const OwnedKey key(opened);
  read(key.get());
  return true;
}

std::optional<HiveValue> Win32HiveReader::ReadValue(const std::string& file,
                                                    const std::string& keyPath,
                                                    const std::string& valueName) {
  std::optional<HiveValue> value;
  WithKey(file, keyPath, [&](HKEY key) { value = ValueOf(key, Wide(valueName)); });
  return value;
}

bool Win32HiveReader::KeyExists(const std::string& file, const std::string& keyPath) {
  return WithKey(file, keyPath, [](HKEY) {});
}

std::optional<std::vector<HiveKey>> Win32HiveReader::ReadTree(const std::string& file,
                                                              const std::string& keyPath) {
  std::optional<std::vector<HiveKey>> tree;
  WithKey(file, keyPath, [&](HKEY key) {
    std::vector<HiveKey> keys;
    if (ReadKey(key, "", keys)) tree = std::move(keys);
  });
  return tree;
}

}  // namespace ravlin

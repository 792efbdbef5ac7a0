#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "platform/text_bytes.hpp"
#include "platform/win32/registry/win32_registry.hpp"
#include "platform/win32/runtime/sharing_retry.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// One name for every session of the machine: repairs in two sessions would mount the same
// name under each other as well.
constexpr wchar_t kClaimName[] = L"Global\\Ravlin.RepairClaim";

// A mutex is its owning thread's however often that thread waits for it, so a second claim
// from this process is refused here.
std::atomic<bool> claimedHere{false};

// The claim of this process and of the machine.
class RepairClaim : public RegistryClaim {
 public:
  RepairClaim() {
    if (claimedHere.exchange(true)) return;
    holdsProcess_ = true;
    mutex_ = UniqueHandle(::CreateMutexW(nullptr, FALSE, kClaimName));
    // An abandoned mutex (its repair crashed) is ours now; the app finds what it left loaded.
    const DWORD wait = mutex_.Valid() ? ::WaitForSingleObject(mutex_.Get(), 0) : WAIT_FAILED;
    holdsMutex_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  }
  RepairClaim(const RepairClaim&) = delete;
  RepairClaim& operator=(const RepairClaim&) = delete;
  // Released by the thread that claimed it, as a mutex must be.
  ~RepairClaim() override {
    if (holdsMutex_) ::ReleaseMutex(mutex_.Get());
    if (holdsProcess_) claimedHere = false;
  }
  bool Held() const { return holdsMutex_; }

 private:
  bool holdsProcess_ = false;
  UniqueHandle mutex_;
  bool holdsMutex_ = false;
};

bool CanLoadBelow(RegKey key) {
  return key == kHkeyLocalMachine || key == kHkeyUsers;
}

// PRIVILEGE_SET with room for two entries.
struct TwoPrivilegeSet {
  PRIVILEGE_SET set;
  LUID_AND_ATTRIBUTES second;
};
static_assert(offsetof(TwoPrivilegeSet, second) ==
              offsetof(PRIVILEGE_SET, Privilege) + sizeof(LUID_AND_ATTRIBUTES));

// Whether the process token has both privileges that the loader asks for enabled. Checked
// before the backup is made, so that a process without them gets 1314 as from the loader,
// not whatever writing the backup meets first.
bool HivePrivilegesEnabled() {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
  const UniqueHandle token(opened);
  TwoPrivilegeSet required{};
  required.set.PrivilegeCount = 2;
  required.set.Control = PRIVILEGE_SET_ALL_NECESSARY;
  BOOL enabled = FALSE;
  return ::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &required.set.Privilege[0].Luid) &&
         ::LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &required.second.Luid) &&
         ::PrivilegeCheck(token.Get(), &required.set, &enabled) && enabled;
}

bool KeyExists(HKEY root, const std::wstring& name) {
  HKEY opened = nullptr;
  const bool exists =
      ::RegOpenKeyExW(root, name.c_str(), 0, KEY_QUERY_VALUE, &opened) == ERROR_SUCCESS;
  const OwnedKey closed(opened);
  return exists;
}

// Deletes a file not made complete, unless kept.
class PartialFile {
 public:
  explicit PartialFile(std::wstring path) : path_(std::move(path)) {}
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  ~PartialFile() {
    if (!kept_) ::DeleteFileW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  bool kept_ = false;
};

// Keeps the untouched hive as `<hive>.ravlin-backup`, once: copied under another name, on the
// disk, then renamed, so that the name never holds a partial copy.
LONG KeepBackup(const std::wstring& hive) {
  const std::wstring backup = hive + L".ravlin-backup";
  if (::GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES) return ERROR_SUCCESS;
  if (const DWORD error = ::GetLastError();
      error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    return static_cast<LONG>(error);
  PartialFile copy(backup + L".partial");
  if (!SucceededWhileShared([&] { return ::CopyFileW(hive.c_str(), copy.path().c_str(), FALSE); }))
    return ::GetLastError();
  // A read-only hive gives a read-only copy, which could not be opened to flush it.
  if (!::SetFileAttributesW(copy.path().c_str(), FILE_ATTRIBUTE_NORMAL)) return ::GetLastError();
  {
    const HANDLE opened = ::CreateFileW(copy.path().c_str(), GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return ::GetLastError();
    const UniqueHandle file(opened);
    if (!::FlushFileBuffers(file.Get())) return ::GetLastError();
  }
  if (!::MoveFileExW(copy.path().c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH))
    return ::GetLastError();
  copy.Keep();
  return ERROR_SUCCESS;
}

// The attributes that keep the loader from writing the hive.
constexpr DWORD kAttributesInTheWay =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

void SetAttributes(const std::wstring& file, DWORD attributes) {
  ::SetFileAttributesW(file.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

}  // namespace

std::int32_t Win32Registry::RegLoadKeyA(RegKey key, const std::string& subKey,
                                        const std::string& file) {
  if (!CanLoadBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos ||
      file.empty())
    return kErrorInvalidParameter;
  if (!HivePrivilegesEnabled()) return kErrorPrivilegeNotHeld;
  const std::wstring hive = Wide(file);
  if (const LONG status = KeepBackup(hive); status != ERROR_SUCCESS) return status;
  HKEY root = Resolve(key);
  const std::wstring name = Wide(subKey);
  const bool existed = KeyExists(root, name);
  const DWORD attributes = ::GetFileAttributesW(hive.c_str());
  const bool inTheWay =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & kAttributesInTheWay) != 0;
  if (inTheWay) {
    SetAttributes(hive, attributes & ~kAttributesInTheWay);
    if (::GetFileAttributesW(hive.c_str()) & kAttributesInTheWay)
      return static_cast<std::int32_t>(kErrorAccessDenied);
  }
  const LONG status = static_cast<LONG>(
      RetriedWhileShared([&] { return ::RegLoadKeyW(root, name.c_str(), hive.c_str()); }));
  if (status != ERROR_SUCCESS) {
    if (inTheWay) SetAttributes(hive, attributes);
    // Wine leaves an empty key of the name behind after a failed load, which would refuse
    // every later load under it.
    if (!existed) ::RegDeleteKeyW(root, name.c_str());
  } else if (inTheWay) {
    keptAttributes_[{key, UpperAscii(subKey)}] = KeptAttributes{hive, attributes};
  }
  return status;
}

std::int32_t Win32Registry::RegUnLoadKeyA(RegKey key, const std::string& subKey) {
  if (!CanLoadBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos)
    return kErrorInvalidParameter;
  const LONG status = ::RegUnLoadKeyW(Resolve(key), Wide(subKey).c_str());
  if (const auto kept = keptAttributes_.find({key, UpperAscii(subKey)});
      status == ERROR_SUCCESS && kept != keptAttributes_.end()) {
    SetAttributes(kept->second.file, kept->second.attributes);
    keptAttributes_.erase(kept);
  }
  return status;
}

std::unique_ptr<RegistryClaim> Win32Registry::ClaimForRepair() {
  auto claim = std::make_unique<RepairClaim>();
  if (!claim->Held()) return nullptr;
  return claim;
}

}  // namespace ravlin

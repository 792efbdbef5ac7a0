#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cwctype>
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

// Copies `from` to `to` crash-safely: under another name, on the disk, then renamed, so that
// `to` never holds a partial copy. The copy keeps the attributes of `from`; an existing `to`
// is replaced only when `replace` says so.
LONG DurableCopy(const std::wstring& from, const std::wstring& to, bool replace) {
  const DWORD attributes = ::GetFileAttributesW(from.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
  PartialFile copy(to + L".partial");
  if (!SucceededWhileShared([&] { return ::CopyFileW(from.c_str(), copy.path().c_str(), FALSE); }))
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
  if (!::SetFileAttributesW(copy.path().c_str(), attributes)) return ::GetLastError();
  // A read-only copy left by an interrupted run could not be replaced.
  if (replace) ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(copy.path().c_str(), to.c_str(),
                     MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0)))
    return ::GetLastError();
  copy.Keep();
  return ERROR_SUCCESS;
}

// Keeps the untouched hive as `<hive>.ravlin-backup`, once.
LONG KeepBackup(const std::wstring& hive) {
  const std::wstring backup = hive + L".ravlin-backup";
  if (const DWORD existing = ::GetFileAttributesW(backup.c_str());
      existing != INVALID_FILE_ATTRIBUTES) {
    // Only a plain file is the untouched hive kept by an earlier repair; a link or a folder
    // under that name holds no copy of it, and the hive must not be loaded and changed.
    if ((existing & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ERROR_CANT_RESOLVE_FILENAME;
    return (existing & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
  }
  if (const DWORD error = ::GetLastError();
      error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    return static_cast<LONG>(error);
  return DurableCopy(hive, backup, false);
}

// The attributes that keep the loader from writing the hive.
constexpr DWORD kAttributesInTheWay =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

void SetAttributes(const std::wstring& file, DWORD attributes) {
  ::SetFileAttributesW(file.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

// The hive as it was just before this load, which a discarded mount puts back.
std::wstring BeforeLoadCopy(const std::wstring& hive) {
  return hive + L".ravlin-loaded";
}

// The loaded name as the registry compares it.
std::wstring LoadedName(RegKey key, const std::string& subKey) {
  std::wstring name = std::to_wstring(key) + L"\\" + Wide(subKey);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  return name;
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
  // Windows writes into a loaded hive itself: this copy is what a discarded mount puts back.
  if (const LONG status = DurableCopy(hive, BeforeLoadCopy(hive), true); status != ERROR_SUCCESS)
    return status;
  HKEY root = Resolve(key);
  const std::wstring name = Wide(subKey);
  const bool existed = KeyExists(root, name);
  const DWORD attributes = ::GetFileAttributesW(hive.c_str());
  const bool inTheWay =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & kAttributesInTheWay) != 0;
  if (inTheWay) {
    SetAttributes(hive, attributes & ~kAttributesInTheWay);
    if (::GetFileAttributesW(hive.c_str()) & kAttributesInTheWay) {
      ::DeleteFileW(BeforeLoadCopy(hive).c_str());
      return static_cast<std::int32_t>(kErrorAccessDenied);
    }
  }
  const LONG status = static_cast<LONG>(
      RetriedWhileShared([&] { return ::RegLoadKeyW(root, name.c_str(), hive.c_str()); }));
  if (status != ERROR_SUCCESS) {
    if (inTheWay) SetAttributes(hive, attributes);
    // Wine leaves an empty key of the name behind after a failed load, which would refuse
    // every later load under it.
    if (!existed) ::RegDeleteKeyW(root, name.c_str());
    ::DeleteFileW(BeforeLoadCopy(hive).c_str());
    return status;
  }
  loadedHives_[LoadedName(key, subKey)] = hive;
  if (inTheWay) keptAttributes_[{key, UpperAscii(subKey)}] = KeptAttributes{hive, attributes};
  return status;
}

std::int32_t Win32Registry::RegUnLoadKeyA(RegKey key, const std::string& subKey) {
  if (!CanLoadBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos)
    return kErrorInvalidParameter;
  const LONG status = ::RegUnLoadKeyW(Resolve(key), Wide(subKey).c_str());
  if (status != ERROR_SUCCESS) return status;
  if (const auto kept = keptAttributes_.find({key, UpperAscii(subKey)});
      kept != keptAttributes_.end()) {
    SetAttributes(kept->second.file, kept->second.attributes);
    keptAttributes_.erase(kept);
  }
  if (const auto loaded = loadedHives_.find(LoadedName(key, subKey));
      loaded != loadedHives_.end()) {
    ::DeleteFileW(BeforeLoadCopy(loaded->second).c_str());
    loadedHives_.erase(loaded);
  }
  return status;
}

std::int32_t Win32Registry::DiscardLoadedKey(RegKey key, const std::string& subKey) {
  if (!CanLoadBelow(key) || subKey.empty() || subKey.find('\\') != std::string::npos)
    return kErrorInvalidParameter;
  const LONG status = ::RegUnLoadKeyW(Resolve(key), Wide(subKey).c_str());
  if (status != ERROR_SUCCESS) return status;
  // The copy put back below keeps the attributes the hive had before its load.
  keptAttributes_.erase({key, UpperAscii(subKey)});
  // A hive another process loaded has no copy known here: unloading it is all that can be done.
  const auto loaded = loadedHives_.find(LoadedName(key, subKey));
  if (loaded == loadedHives_.end()) return status;
  const std::wstring hive = loaded->second;
  loadedHives_.erase(loaded);
  // One rename puts the flushed copy back in place: a crash leaves either hive whole.
  ::SetFileAttributesW(hive.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(BeforeLoadCopy(hive).c_str(), hive.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return static_cast<std::int32_t>(::GetLastError());
  return status;
}

std::unique_ptr<RegistryClaim> Win32Registry::ClaimForRepair() {
  auto claim = std::make_unique<RepairClaim>();
  if (!claim->Held()) return nullptr;
  return claim;
}

}  // namespace ravlin

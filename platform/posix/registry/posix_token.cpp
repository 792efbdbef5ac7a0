#include "platform/posix/registry/posix_token.hpp"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

// Windows' own numbers for the two privileges (SE_BACKUP_PRIVILEGE, SE_RESTORE_PRIVILEGE).
constexpr std::uint32_t kBackupLuid = 17;
constexpr std::uint32_t kRestoreLuid = 18;

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorBadNetPath = 53;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorNotAllAssigned = 1300;
constexpr std::uint32_t kErrorNoSuchPrivilege = 1313;

// GetCurrentProcess's pseudo handle, (HANDLE)-1 as on Windows.
constexpr Handle kCurrentProcess = ~Handle{0};
constexpr Handle kProcessToken = 0x7C;

}  // namespace

bool ProcessOverridesFilePermissions() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (::syscall(SYS_capget, &header, data) != 0) return ::geteuid() == 0;
  return (data[0].effective & (1U << CAP_DAC_OVERRIDE)) != 0;
}

PosixToken::PosixToken(std::shared_ptr<PrivilegeState> privileges)
    : privileges_(std::move(privileges)) {}

bool PosixToken::Fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

Handle PosixToken::GetCurrentProcess() {
  return kCurrentProcess;
}

bool PosixToken::OpenProcessToken(Handle process, std::uint32_t, Handle& token) {
  if (process != kCurrentProcess) return Fail(kErrorInvalidHandle);
  openToken_ = kProcessToken;
  token = openToken_;
  lastError_ = 0;
  return true;
}

bool PosixToken::LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                                       Luid& luid) {
  // Only the local computer has a token here.
  if (!systemName.empty()) return Fail(kErrorBadNetPath);
  if (EqualsIgnoringAsciiCase(name, "SeRestorePrivilege"))
    luid = Luid{kRestoreLuid, 0};
  else if (EqualsIgnoringAsciiCase(name, "SeBackupPrivilege"))
    luid = Luid{kBackupLuid, 0};
  else
    return Fail(kErrorNoSuchPrivilege);
  lastError_ = 0;
  return true;
}

bool PosixToken::AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                                       const TokenPrivileges& newState, std::uint32_t) {
  if (token == 0 || token != openToken_) return Fail(kErrorInvalidHandle);
  if (disableAllPrivileges) {
    privileges_->DisableAll();
    lastError_ = 0;
    return true;
  }
  if (newState.privilegeCount > newState.privileges.size()) return Fail(kErrorInvalidParameter);
  // As on Windows, a privilege the token does not hold is skipped and the call still
  // succeeds, leaving ERROR_NOT_ALL_ASSIGNED.
  bool allAssigned = true;
  for (std::uint32_t i = 0; i < newState.privilegeCount; ++i) {
    const auto& entry = newState.privileges[i];
    const bool enable = (entry.attributes & kSePrivilegeEnabled) != 0;
    if (entry.luid.highPart == 0 && entry.luid.lowPart == kRestoreLuid)
      privileges_->SetRestore(enable);
    else if (entry.luid.highPart == 0 && entry.luid.lowPart == kBackupLuid)
      privileges_->SetBackup(enable);
    else
      allAssigned = false;
  }
  // Without the right to override file permissions the token does not really hold them: the
  // hive calls stay possible on files this user may write, and others are refused with 1314.
  if (!privileges_->OverridesFilePermissions() && newState.privilegeCount > 0) allAssigned = false;
  lastError_ = allAssigned ? 0 : kErrorNotAllAssigned;
  return true;
}

}  // namespace ravlin

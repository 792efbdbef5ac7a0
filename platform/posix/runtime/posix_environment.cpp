#include "platform/posix/runtime/posix_environment.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/codepage.hpp"
#include "platform/registry.hpp"
#include "platform/status_advice.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

// The steps that differ on a Linux rescue system.
constexpr std::array<StatusAdviceLine, 6> kLinuxAdvice{{
    {kErrorAccessDenied,
     "access denied: another program holds the hive open, or you lack the rights to change "
     "the guest. Close registry editors and run Ravlin as root."},
    {kErrorWriteProtect,
     "the guest volume is mounted read-only. Remount it read-write (for example "
     "`mount -o remount,rw /mnt/xp`) and try again."},
    {kErrorSharingViolation,
     "the hive file is in use by another mount or program. End the other repair or unload "
     "its hive, then try again."},
    {kErrorDiskFull,
     "the disk is full. Free space on the guest volume and in the registry store, then try "
     "again."},
    {kErrorPrivilegeNotHeld,
     "you lack the rights to load or change the guest's hive. Run Ravlin as root."},
    {kErrorFileInvalid,
     "the guest's hive changed on disk after Ravlin loaded it (another program or repair "
     "wrote it), so Ravlin did not write over it; its own result is kept in the registry "
     "store as kept-mount-*.hiv. Check the guest, then run the repair again."},
}};

}  // namespace

PosixEnvironment::PosixEnvironment(std::shared_ptr<const DriveTable> drives,
                                   std::filesystem::path programFolder)
    : drives_(std::move(drives)), programFolder_(std::move(programFolder)) {}

std::optional<std::string> PosixEnvironment::GetEnvironmentVariable(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return std::nullopt;
  if (const char* value = std::getenv(name.c_str())) return Utf8ToAnsi(value);
  // Windows ignores the case of variable names ("windir" is "WINDIR").
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string_view::npos && EqualsIgnoringAsciiCase(text.substr(0, equals), name))
      return Utf8ToAnsi(text.substr(equals + 1));
  }
  return std::nullopt;
}

std::string PosixEnvironment::ProgramFolder() {
  return drives_->ToWindows(programFolder_);
}

std::string PosixEnvironment::StatusAdvice(std::int32_t status) {
  return AdviceFor(kLinuxAdvice, status);
}

// A Linux rescue system has no Windows folder of its own; a Wine-like environment names one
// in "windir", compared as text.
bool PosixEnvironment::IsRunningSystemsWindowsFolder(const std::string& folder) {
  const std::string windir = GetEnvironmentVariable("windir").value_or("");
  return !windir.empty() && EqualsIgnoringAsciiCase(folder, windir);
}

}  // namespace ravlin

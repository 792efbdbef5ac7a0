#include "app/status_explanation.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/registry.hpp"

namespace ravlin {
namespace {

struct Explanation {
  std::int32_t status;
  std::string_view text;
};

constexpr std::array<Explanation, 10> kExplanations{{
    {kErrorAccessDenied,
     "access denied: another program holds the hive open, or you lack the rights to change "
     "the guest. Close registry editors and run Ravlin as root (on Windows, as administrator)."},
    {kErrorWriteProtect,
     "the guest volume is mounted read-only. Remount it read-write (for example "
     "`mount -o remount,rw /mnt/xp`) and try again."},
    {kErrorSharingViolation,
     "the hive file is in use by another mount or program. End the other repair or unload "
     "its hive, then try again."},
    {kErrorDiskFull,
     "the disk is full. Free space on the guest volume and in the registry store, then try "
     "again."},
    {kErrorBadDb,
     "the hive file is damaged or truncated; Ravlin left it untouched. Restore a good copy of "
     "system32\\config\\system (from a backup) before repairing."},
    {kErrorRegistryCorrupt,
     "the hive was not closed cleanly, and no transaction log beside it (system.LOG, or "
     "SYSTEM.LOG1 and SYSTEM.LOG2) can bring it up to date; the next line says which. Put the "
     "guest's own log files back beside the hive, or start the guest Windows once, then try "
     "again."},
    {kErrorNotRegistryFile,
     "system32\\config\\system is not a registry hive. Check that you chose the guest's "
     "Windows folder and that the file is intact."},
    {kErrorPrivilegeNotHeld,
     "you lack the rights to load or change the guest's hive. Run Ravlin as root (on Windows, "
     "as administrator)."},
    {kErrorFileInvalid,
     "the guest's hive changed on disk after Ravlin loaded it (another program or repair "
     "wrote it), so Ravlin did not write over it; its own result is kept in the registry "
     "store as kept-mount-*.hiv. Check the guest, then run the repair again."},
    {kErrorCantResolveFilename,
     "a link in the guest leads outside the chosen Windows folder, and Ravlin never writes "
     "through it. Check the guest's system32\\config folder for symbolic links."},
}};

}  // namespace

std::string StatusExplanation(std::int32_t status) {
  const auto found = std::find_if(kExplanations.begin(), kExplanations.end(),
                                  [status](const Explanation& e) { return e.status == status; });
  if (found == kExplanations.end()) return {};
  return "Status " + std::to_string(status) + ": " + std::string(found->text);
}

}  // namespace ravlin

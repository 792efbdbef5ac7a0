#include "platform/status_advice.hpp"

#include <algorithm>
#include <array>

#include "platform/registry.hpp"

namespace ravlin {
namespace {

// What the same status means on every system.
constexpr std::array<StatusAdviceLine, 4> kSharedLines{{
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
    {kErrorCantResolveFilename,
     "a link in the guest leads outside the chosen Windows folder, and Ravlin never writes "
     "through it. Check the guest's system32\\config folder for symbolic links."},
}};

std::string FindIn(std::span<const StatusAdviceLine> lines, std::int32_t status) {
  const auto found = std::find_if(lines.begin(), lines.end(), [status](const StatusAdviceLine& l) {
    return l.status == status;
  });
  return found == lines.end() ? std::string() : std::string(found->text);
}

}  // namespace

std::string AdviceFor(std::span<const StatusAdviceLine> machineLines, std::int32_t status) {
  std::string advice = FindIn(machineLines, status);
  return advice.empty() ? FindIn(kSharedLines, status) : advice;
}

}  // namespace ravlin

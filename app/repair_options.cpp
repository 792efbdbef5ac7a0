#include "app/repair_options.hpp"

namespace ravlin {

const char* const kRepairOptionsUsage =
    "\n"
    "Repair options:\n"
    "  --drivers-from DIR a Windows installation source searched last for missing IDE\n"
    "                     drivers, e.g. an XP CD's I386 folder (ATAPI.SY_, DRIVER.CAB)\n"
    "  --dry-run          run the attempt on a scratch copy of the guest hive and show\n"
    "                     what a repair would change in each control set (as a .reg\n"
    "                     difference) and where each missing driver would come from;\n"
    "                     the guest is not touched\n"
    "  --force            as --yes, and also answer Yes when the guest is a Windows later\n"
    "                     than Server 2003 (which --yes leaves unanswered: No)\n"
    "  --restore DIR      undo the repairs of the guest Windows directory DIR: its hive\n"
    "                     backup becomes its hive again (the repaired one kept as\n"
    "                     system.ravlin-repaired) and the driver files the repairs copied\n"
    "                     are deleted; refused while a hive is mounted, without a backup,\n"
    "                     or when the hive changed since the repair (Windows was started)\n";

bool ParseRepairOption(const std::vector<std::string>& words, std::size_t& i,
                       RepairOptions& options) {
  const bool hasValue = i + 1 < words.size();
  if (words[i] == "--drivers-from" && hasValue) {
    options.driversFrom = words[++i];
    return true;
  }
  if (words[i] == "--restore" && hasValue) {
    options.restore = words[++i];
    return true;
  }
  if (words[i] == "--dry-run") {
    options.dryRun = true;
    return true;
  }
  if (words[i] == "--force") {
    options.force = true;
    return true;
  }
  return false;
}

void ApplyRepairOptions(Form1& form, const RepairOptions& options) {
  form.SetDryRun(options.dryRun);
  if (options.driversFrom)
    form.SetInstallationSource(std::filesystem::absolute(*options.driversFrom));
}

}  // namespace ravlin

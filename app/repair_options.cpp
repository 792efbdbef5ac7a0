#include "app/repair_options.hpp"

namespace ravlin {

const char* const kRepairOptionsUsage =
    "\n"
    "Repair options:\n"
    "  --drivers-from DIR a Windows installation source searched last for missing IDE\n"
    "                     drivers, e.g. an XP CD's I386 folder (ATAPI.SY_, DRIVER.CAB)\n"
    "  --driver DIR       install the vendor's XP mass-storage driver in DIR (its INF,\n"
    "                     txtsetup.oem where present, and .sys file) after the IDE\n"
    "                     repair, in every control set; refused, changing nothing, when\n"
    "                     the INF cannot be installed safely offline\n"
    "  --dry-run          run the attempt on a scratch copy of the guest hive and show\n"
    "                     what a repair would change in each control set (as a .reg\n"
    "                     difference) and where each missing driver would come from;\n"
    "                     the guest is not touched\n"
    "  --force            as --yes, and also answer Yes when the guest is a Windows later\n"
    "                     than Server 2003 (which --yes leaves unanswered: No)\n"
    "  --image FILE       repair the Windows on a virtual machine's disk image (raw,\n"
    "                     qcow2, VMDK, VHD, VHDX, VDI) in place: open it, mount the NTFS\n"
    "                     partition that holds Windows, repair, close, read it back\n"
    "  --partition N      with --image: the partition to repair when several hold Windows\n"
    "  --image-top-layer  with --image: repair a snapshot layer itself (never its backing\n"
    "                     file), which is refused otherwise\n"
    "  --restore DIR      undo the repairs of the guest Windows directory DIR: its hive\n"
    "                     backup becomes its hive again (the repaired one kept as\n"
    "                     system.ravlin-repaired) and the driver files the repairs copied\n"
    "                     are deleted; refused while a hive is mounted, without a backup,\n"
    "                     or when the hive changed since the repair (Windows was started)\n"
    "\n"
    "Missing drivers come from Ravlin_Required_Files, then the guest's\n"
    "ServicePackFiles\\i386, its Driver Cache\\i386 cabinets (sp3.cab, sp2.cab, sp1.cab,\n"
    "driver.cab), its system32\\dllcache, then --drivers-from. Every attempt appends its\n"
    "record to ravlin.log in the guest's Windows directory.\n"
    "\n"
    "Still stop 0x7B after a repair? The board's SATA controller is probably in AHCI mode:\n"
    "set it to IDE (compatible, legacy) mode in the firmware set-up, or install the board\n"
    "maker's AHCI driver for XP with --driver.\n";

bool ParseRepairOption(const std::vector<std::string>& words, std::size_t& i,
                       RepairOptions& options) {
  const bool hasValue = i + 1 < words.size();
  if (words[i] == "--drivers-from" && hasValue) {
    options.driversFrom = words[++i];
    return true;
  }
  if (words[i] == "--driver" && hasValue) {
    options.driver = words[++i];
    return true;
  }
  if (words[i] == "--restore" && hasValue) {
    options.restore = words[++i];
    return true;
  }
  if (words[i] == "--image" && hasValue) {
    options.image = words[++i];
    return true;
  }
  if (words[i] == "--partition" && hasValue) {
    try {
      options.partition = std::stoi(words[++i]);
    } catch (const std::exception&) {
      return false;
    }
    return true;
  }
  if (words[i] == "--image-top-layer") {
    options.imageTopLayer = true;
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
  form.SetForce(options.force);
  if (options.driversFrom)
    form.SetInstallationSource(std::filesystem::absolute(*options.driversFrom));
  if (options.driver) form.SetDriverFolder(std::filesystem::absolute(*options.driver));
}

}  // namespace ravlin

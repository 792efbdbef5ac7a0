#include "app/restore.hpp"

#include <ostream>
#include <string>

#include "app/form1.hpp"
#include "app/repair_record.hpp"
#include "platform/runtime_error.hpp"
#include "platform/sha256.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

std::optional<std::string> DigestOf(FileService& files, const std::string& path) {
  try {
    if (!files.FileExists(path)) return std::nullopt;
    return Sha256Hex(files.ReadAllText(path));
  } catch (const RuntimeError&) {
    return std::nullopt;
  }
}

// Why the undo cannot run, or nothing when it can.
std::optional<std::string> Refusal(Platform& platform, const std::string& guest) {
  const std::string hive = guest + std::string(kHiveFragment);
  std::string subKeys;
  if (modRegistry::RegEnumSubKeys(platform, "HKLM", std::string(kMountName), subKeys) == 0)
    return "A hive is mounted as HKLM\\" + std::string(kMountName) +
           " (an attempt stopped before unmounting it). Run Ravlin once more and let it "
           "unmount the hive, then undo.";
  if (!platform.files->FileExists(hive + ".ravlin-backup"))
    return "There is no backup of the guest hive: " + hive + ".ravlin-backup";
  if (platform.files->FileExists(hive + ".ravlin-repaired"))
    return hive + ".ravlin-repaired exists from an earlier undo; move it away first.";
  const std::string record = guest + std::string(kRecordFragment);
  if (!platform.files->FileExists(record)) return "There is no record of a repair: " + record;
  const RecordedRepairs repairs = ReadRecordedRepairs(platform.files->ReadAllText(record));
  if (!repairs.hiveAfterSha256) return "The record names no repaired hive: " + record;
  if (DigestOf(*platform.files, hive) != repairs.hiveAfterSha256)
    return "The guest hive changed since the repair (Windows was started, or the hive was "
           "edited): " +
           hive + " no longer matches " + record + ".";
  return std::nullopt;
}

}  // namespace

int RestoreGuest(Platform platform, const std::filesystem::path& guestFolder, std::ostream& out) {
  const std::string guest = platform.drives->ToDrivePath(std::filesystem::absolute(guestFolder));
  const std::string hive = guest + std::string(kHiveFragment);
  const std::string record = guest + std::string(kRecordFragment);
  try {
    if (const auto refusal = Refusal(platform, guest)) {
      out << "ravlin: nothing was changed. " << *refusal << "\n";
      return 1;
    }
    const RecordedRepairs repairs = ReadRecordedRepairs(platform.files->ReadAllText(record));
    RepairRecord block;
    block.Open();
    block.Add(std::string(kRestoreBlockTitle));
    block.Add("Date: " + UtcNow());
    block.Add("Guest: " + guest);

    platform.replacer->ReplaceFile(hive, hive + ".ravlin-backup", hive + ".ravlin-repaired");
    block.Add("Hive restored from " + hive + ".ravlin-backup; the repaired hive is " + hive +
              ".ravlin-repaired");
    out << "Restored " << hive << " from its backup; the repaired hive is kept as " << hive
        << ".ravlin-repaired\n";

    for (const auto& driver : repairs.copiedDrivers) {
      const std::string path = guest + std::string(kDriverFolderFragment) + "\\" + driver.name;
      const auto digest = DigestOf(*platform.files, path);
      std::string outcome;
      if (!digest) {
        outcome = "already gone";
      } else if (*digest != driver.sha256) {
        outcome = "kept: it changed since the repair copied it";
      } else {
        platform.attributes->SetAttr(path, 0);
        platform.files->DeleteFile(path);
        outcome = "deleted";
      }
      block.Add("Driver " + driver.name + ": " + outcome);
      out << "Driver " << path << ": " << outcome << "\n";
    }
    block.Add("End: restored");
    platform.files->WriteText(record, block.Block(), true);
    return 0;
  } catch (const RuntimeError& error) {
    out << "ravlin: the undo failed: " << error.Description() << "\n";
    return 1;
  }
}

}  // namespace ravlin

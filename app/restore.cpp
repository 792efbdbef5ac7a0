#include "app/restore.hpp"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "app/driver_sources.hpp"
#include "app/form1.hpp"
#include "app/repair_record.hpp"
#include "platform/runtime_error.hpp"
#include "platform/text_bytes.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

// Why the undo cannot go on; nothing was changed when it is thrown.
struct Refusal {
  std::string reason;
};

// The digest of a file; nothing when it is larger than `largest`.
std::optional<std::string> DigestOf(FileService& files, const std::string& path,
                                    std::uint64_t largest) {
  return files.DigestFile(path, largest).sha256;
}

// The kind of a file the undo reads or changes, which must be a regular file or absent.
PathKind FileOrMissing(FileService& files, const std::string& path, const std::string& what) {
  const PathKind kind = files.KindOfEntry(path);
  if (kind != PathKind::kMissing && kind != PathKind::kFile)
    throw Refusal{what + " " + path + " is " + PathKindText(kind) + ", not a regular file."};
  return kind;
}

RecordedRepairs ReadRecord(FileService& files, const std::string& record) {
  if (FileOrMissing(files, record, "The record") == PathKind::kMissing)
    throw Refusal{"There is no record of a repair: " + record};
  RecordedRepairs repairs = ReadRecordedRepairs(
      files.ReadFilePart(record, 0, 0).fileSize, [&](std::uint64_t offset, std::size_t length) {
        return files.ReadFilePart(record, offset, length).bytes;
      });
  if (!repairs.fault.empty())
    throw Refusal{"The record cannot be read: " + repairs.fault + ": " + record};
  return repairs;
}

// What becomes of one driver file the repairs copied, decided before anything changes.
struct DriverPlan {
  std::string name;
  std::string path;
  std::string outcome;
  bool remove = false;
};

std::vector<DriverPlan> PlanDrivers(FileService& files, const std::string& guest,
                                    const RecordedRepairs& repairs) {
  std::vector<std::string> names(kIdeDriverFiles.begin(), kIdeDriverFiles.end());
  for (const auto& driver : repairs.copiedDrivers)
    if (driver.vendor && std::none_of(names.begin(), names.end(), [&](const std::string& name) {
          return EqualsIgnoringAsciiCase(name, driver.name);
        }))
      names.push_back(driver.name);
  std::vector<DriverPlan> plans;
  for (const std::string& name : names) {
    std::vector<std::string> digests;
    for (const auto& driver : repairs.copiedDrivers)
      if (EqualsIgnoringAsciiCase(driver.name, name)) digests.push_back(driver.sha256);
    if (digests.empty()) continue;
    DriverPlan plan{name, guest + std::string(kDriverFolderFragment) + "\\" + name, {}};
    const PathKind kind = files.KindOfEntry(plan.path);
    if (kind == PathKind::kMissing) {
      plan.outcome = "already gone";
    } else if (kind != PathKind::kFile) {
      plan.outcome =
          std::string("kept: it is ") + PathKindText(kind) + ", not a file the repair copied";
    } else {
      const auto digest = DigestOf(files, plan.path, kLargestDriverFile);
      plan.remove = digest && std::find(digests.begin(), digests.end(), *digest) != digests.end();
      plan.outcome = plan.remove ? "deleted" : "kept: it changed since the repair copied it";
    }
    plans.push_back(std::move(plan));
  }
  return plans;
}

// The hive step, finished from wherever an earlier undo stopped: the backup takes the hive's
// place and the repaired hive is kept beside it.
class HiveStep {
 public:
  HiveStep(Platform& platform, const std::string& guest)
      : files_(*platform.files),
        replacer_(*platform.replacer),
        hive_(guest + std::string(kHiveFragment)),
        backup_(hive_ + ".ravlin-backup"),
        repaired_(hive_ + ".ravlin-repaired") {}

  // The three files, each a regular file or absent; throws Refusal when there is nothing to
  // put back.
  void Look() {
    if (FileOrMissing(files_, hive_, "The guest hive") == PathKind::kMissing)
      throw Refusal{"There is no guest hive: " + hive_};
    hasBackup_ = FileOrMissing(files_, backup_, "The backup") == PathKind::kFile;
    hasRepaired_ =
        FileOrMissing(files_, repaired_, "The repaired hive kept by an undo") == PathKind::kFile;
    if (!hasBackup_ && !hasRepaired_)
      throw Refusal{"There is no backup of the guest hive: " + backup_};
  }

  // Whether the step can be done or finished as the record says; throws Refusal otherwise.
  void Check(const RecordedRepairs& repairs, const std::string& record) {
    // Nothing recorded since the last undo and no backup: that undo is done.
    if (!hasBackup_ && !repairs.hiveAfterSha256)
      throw Refusal{"There is no backup of the guest hive: " + backup_};
    if (!repairs.hiveAfterSha256) throw Refusal{"The record names no repaired hive: " + record};
    const auto hive = DigestOf(files_, hive_, kLargestDigestedFile);
    const bool repairedIsAfter =
        hasRepaired_ &&
        DigestOf(files_, repaired_, kLargestDigestedFile) == repairs.hiveAfterSha256;
    if (!hasBackup_) {
      // An undo that stopped after the backup took the hive's place.
      if (!repairedIsAfter || !repairs.backupSha256 || hive != repairs.backupSha256)
        throw Refusal{"There is no backup of the guest hive: " + backup_};
      done_ = true;
      return;
    }
    if (repairs.backupSha256 &&
        DigestOf(files_, backup_, kLargestDigestedFile) != repairs.backupSha256)
      throw Refusal{"The backup " + backup_ + " is not the one the record names."};
    if (hive != repairs.hiveAfterSha256)
      throw Refusal{
          "The guest hive changed since the repair (Windows was started, or the hive "
          "was edited): " +
          hive_ + " no longer matches the record."};
    if (hasRepaired_ && !repairedIsAfter)
      throw Refusal{repaired_ + " exists from an earlier undo; move it away first."};
    // An undo that stopped after keeping the repaired hive holds the same hive twice.
    repairedTwice_ = hasRepaired_;
  }

  void Run() {
    if (done_) return;
    if (repairedTwice_) files_.DeleteFile(repaired_);
    replacer_.ReplaceFile(hive_, backup_, repaired_);
  }

  const std::string& Hive() const { return hive_; }
  const std::string& Backup() const { return backup_; }
  const std::string& Repaired() const { return repaired_; }

 private:
  FileService& files_;
  FileReplacer& replacer_;
  std::string hive_;
  std::string backup_;
  std::string repaired_;
  bool hasBackup_ = false;
  bool hasRepaired_ = false;
  bool done_ = false;
  bool repairedTwice_ = false;
};

void CheckNothingMounted(Platform& platform) {
  std::string subKeys;
  if (modRegistry::RegEnumSubKeys(platform, "HKLM", std::string(kMountName), subKeys) == 0)
    throw Refusal{"A hive is mounted as HKLM\\" + std::string(kMountName) +
                  " (an attempt stopped before unmounting it). Run Ravlin once more and let it "
                  "unmount the hive, then undo."};
}

}  // namespace

int RestoreGuest(Platform platform, const std::filesystem::path& guestFolder, std::ostream& out) {
  const std::string guest = platform.drives->ToDrivePath(std::filesystem::absolute(guestFolder));
  const std::string record = guest + std::string(kRecordFragment);
  FileService& files = *platform.files;
  // Every file the undo reads or changes is reached beneath the guest, as the repair's are.
  files.ConfineChangesBeneath(guest);

  HiveStep hive(platform, guest);
  RecordedRepairs repairs;
  std::vector<DriverPlan> drivers;
  try {
    CheckNothingMounted(platform);
    hive.Look();
    repairs = ReadRecord(files, record);
    hive.Check(repairs, record);
    drivers = PlanDrivers(files, guest, repairs);
  } catch (const Refusal& refusal) {
    out << "ravlin: nothing was changed. " << refusal.reason << "\n";
    return 1;
  } catch (const RuntimeError& error) {
    out << "ravlin: nothing was changed. The guest's files cannot be read beneath " << guest << ": "
        << error.Description() << "\n";
    return 1;
  }

  RepairRecord block;
  block.Open();
  block.Add(std::string(kRestoreBlockTitle));
  block.Add("Date: " + UtcNow());
  block.Add("Guest: " + guest);
  for (const std::string& line : repairs.ignoredLines) {
    block.Add("Ignored record line: " + line);
    out << "Ignored record line (it names no driver the repair copies): " << line << "\n";
  }
  if (repairs.ignoredCount > repairs.ignoredLines.size()) {
    const std::string more =
        std::to_string(repairs.ignoredCount - repairs.ignoredLines.size()) + " more ignored";
    block.Add("Ignored record lines: " + more);
    out << "Ignored record lines: " << more << "\n";
  }
  try {
    hive.Run();
    block.Add("Hive restored from " + hive.Backup() + "; the repaired hive is " + hive.Repaired());
    out << "Restored " << hive.Hive() << " from its backup; the repaired hive is kept as "
        << hive.Repaired() << "\n";
    for (const DriverPlan& driver : drivers) {
      if (driver.remove) {
        platform.attributes->SetAttr(driver.path, 0);
        files.DeleteFile(driver.path);
      }
      block.Add("Driver " + driver.name + ": " + driver.outcome);
      out << "Driver " << driver.path << ": " << driver.outcome << "\n";
    }
    block.Add(std::string(kRestoreEndLine));
    // Written last: until then the record still names everything a second run must undo.
    files.WriteText(record, block.Block(), true);
    return 0;
  } catch (const RuntimeError& error) {
    out << "ravlin: the undo stopped: " << error.Description() << ". Run it again to finish it.\n";
    return 1;
  }
}

}  // namespace ravlin

#include <cstdint>
#include <string>

#include "app/continue_on_error.hpp"
#include "app/form1.hpp"
#include "platform/runtime_error.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

std::string LoadFailureReason(std::int32_t status) {
  switch (status) {
    case kErrorAccessDenied:
      return "Open Handle on hive:  " + std::string(kMountName) + ", " + std::to_string(status);
    case kErrorPrivilegeNotHeld:
      return "Permissions error loading registry hive:";
    default:
      return "Unknown error loading registry hive, " + std::to_string(status);
  }
}

std::string UnloadFailureReason(std::int32_t status) {
  switch (status) {
    case kErrorAccessDenied:
      return "Access Denied.  Likely an open Handle on hive:  " + std::string(kMountName) + ", " +
             std::to_string(status) +
             "\r\nTry closing the registry editor, closing the key, or unloading a hive of the "
             "same name.";
    case kErrorPrivilegeNotHeld:
      return "Permissions error unloading registry hive, " + std::to_string(status);
    default:
      return "Error unloading registry hive, " + std::to_string(status);
  }
}

}  // namespace

bool Form1::HiveBackupUsable() {
  const std::string backup = GuestHiveFile() + ".ravlin-backup";
  std::string found;
  try {
    const PathKind kind = platform_.files->KindOfEntry(backup);
    if (kind == PathKind::kMissing || kind == PathKind::kFile) return true;
    found = PathKindText(kind);
  } catch (const RuntimeError& error) {
    found = "out of reach (" + error.Description() + ")";
  }
  ContinueOnError([&] {
    platform_.ui->MessageBox("The backup of the guest hive is " + found +
                                 ", not a copy of the hive:\r\n" + backup +
                                 "\r\nNothing was changed. Move it away, then try again.",
                             mb::kOkOnly | mb::kCritical, std::string(kApplicationTitle));
  });
  blnAbort = true;
  return false;
}

std::string Form1::GuestHiveFile() const {
  return Text(ControlId::Text1) + std::string(kHiveFragment);
}

void Form1::LoadGuestHive() {
  const std::string title(kApplicationTitle);
  const std::string mountName(kMountName);
  SetText(ControlId::Label3, "Loading SYSTEM Registry Hive...");
  // Checked before anything changes, an earlier attempt's mount included.
  if (!HiveBackupUsable()) return;

  std::int32_t existing = modRegistry::kNothingDone;
  ContinueOnError([&] {
    std::string subKeys;
    existing = modRegistry::RegEnumSubKeys(platform_, "HKLM", mountName, subKeys);
  });
  if (existing == kErrorSuccess) {
    int answer = mb::kIdCancel;
    ContinueOnError([&] {
      answer = platform_.ui->MessageBox(
          "\"" + mountName +
              "\" already exists as a loaded registry hive.\r\nWould you like to unload the "
              "existing hive now?",
          mb::kOkCancel | mb::kInformation, title);
    });
    // Without the user's consent to unload it, the old mount (perhaps another guest's) is
    // neither repaired nor reported as repaired: the attempt stops here.
    if (answer != mb::kIdOk) {
      blnAbort = true;
      return;
    }
    // The old mount's attempt never completed: nothing of it is written into a guest.
    ContinueOnError([this] { DiscardGuestHive(GuestHiveFile()); });
  }

  // A mount call that fails without a status must not pass for a successful one.
  std::int32_t status = modRegistry::kNothingDone;
  const std::string hiveFile = GuestHiveFile();
  ContinueOnError(
      [&] { status = platform_.registry->RegLoadKeyA(kHkeyLocalMachine, mountName, hiveFile); });
  if (status == kErrorSuccess) {
    hiveMountedByThisRun_ = true;
    mountedHiveFile_ = hiveFile;
    ContinueOnError([this] { NoteHiveRecovery(); });
    return;
  }

  ContinueOnError([&] {
    platform_.ui->MessageBox(LoadFailureReason(status) + "\r\n" + hiveFile, mb::kOkOnly, title);
    ExplainStatus(status);
    NoteHiveRecovery();
  });
  SetText(ControlId::Text1, "<Select another Windows directory>");
  blnAbort = true;
}

bool Form1::UnloadGuestHive(const std::string& hiveFile) {
  SetText(ControlId::Label3, "Unloading SYSTEM Registry Hive...");
  std::int32_t status = modRegistry::kNothingDone;
  ContinueOnError([&] {
    status = platform_.registry->RegUnLoadKeyA(kHkeyLocalMachine, std::string(kMountName));
  });
  // A guest hive changed since the mount ends the mount without writing it back: nothing is
  // left to unmount when the program ends.
  EndedMount(status == kErrorSuccess || status == kErrorFileInvalid, status, hiveFile);
  return status == kErrorSuccess;
}

void Form1::EndedMount(bool ended, std::int32_t status, const std::string& hiveFile) {
  if (ended) {
    hiveMountedByThisRun_ = false;
    mountedHiveFile_.clear();
  }
  if (status == kErrorSuccess) return;
  ContinueOnError([&] {
    platform_.ui->MessageBox(UnloadFailureReason(status) + "\r\n" + hiveFile, mb::kOkOnly,
                             std::string(kApplicationTitle));
    ExplainStatus(status);
  });
}

bool Form1::DiscardGuestHive(const std::string& hiveFile) {
  SetText(ControlId::Label3, "Unloading SYSTEM Registry Hive...");
  std::int32_t status = modRegistry::kNothingDone;
  ContinueOnError([&] {
    status = platform_.registry->DiscardLoadedKey(kHkeyLocalMachine, std::string(kMountName));
  });
  // Nothing mounted under the name is a mount ended as well; it is still told.
  const bool ended = status == kErrorSuccess || status == kErrorFileNotFound;
  EndedMount(ended, status, hiveFile);
  return ended;
}

}  // namespace ravlin

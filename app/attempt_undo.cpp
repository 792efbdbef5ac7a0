#include <string>

#include "app/continue_on_error.hpp"
#include "app/form1.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

void Form1::EndStoppedAttempt() {
  // Taken before the undo, whose own boxes would stand in for the reason.
  const std::string abortedAt = AbortedAt();
  const bool undone = UndoAttempt();
  if (record_.IsOpen())
    record_.Add(undone ? "Undone: the guest was left as it was before this attempt"
                       : "Undone only in part: see the lines above");
  EndRecord(abortedAt);
  if (undone) view_.GuestLeftUnchanged();
}

bool Form1::UndoAttempt() {
  bool undone = true;
  for (auto driver = copiedDrivers_.rbegin(); driver != copiedDrivers_.rend(); ++driver) {
    try {
      // The copy carries the source's attributes; read-only must not keep it.
      platform_.attributes->SetAttr(*driver, 0);
      platform_.files->DeleteFile(*driver);
      record_.Add("Removed again: " + *driver);
    } catch (const RuntimeError& error) {
      record_.Add("Could not remove again: " + *driver + " (" + error.Description() + ")");
      undone = false;
    }
  }
  copiedDrivers_.clear();
  if (!createdDriverFolder_.empty()) {
    try {
      const FolderListing listing = platform_.files->GetFolder(createdDriverFolder_);
      if (listing.files.empty() && listing.subFolders.empty())
        platform_.files->DeleteFolder(createdDriverFolder_, false);
    } catch (const RuntimeError& error) {
      record_.Add("Could not remove again: " + createdDriverFolder_ + " (" + error.Description() +
                  ")");
      undone = false;
    }
    createdDriverFolder_.clear();
  }
  if (hiveMountedByThisRun_) {
    bool discarded = false;
    ContinueOnError([&] { discarded = DiscardGuestHive(mountedHiveFile_); });
    if (discarded)
      record_.Add("Registry changes of this attempt discarded; the hive was not written");
    else
      undone = false;
  }
  return undone;
}

}  // namespace ravlin

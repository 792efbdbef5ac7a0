#pragma once

#include <memory>
#include <string>

#include "platform/platform.hpp"

namespace ravlin {

// A new folder below the system's temporary folder, removed with everything in it when the
// object goes. Work that must not touch the guest (extracted drivers, a copy of the hive)
// happens here. The folder is held while the object lives, so that another run's clean-up
// leaves it alone.
class ScratchFolder {
 public:
  // Throws RuntimeError when no folder can be made.
  explicit ScratchFolder(Platform& platform);
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  // The folder's path text, without a trailing backslash.
  const std::string& Path() const { return folder_; }
  std::string operator/(const std::string& name) const { return folder_ + "\\" + name; }

 private:
  Platform& platform_;
  std::string reservation_;
  std::unique_ptr<TempHold> hold_;
  std::string folder_;
};

// Removes the scratch folders that runs killed before they could remove theirs left behind.
void RemoveLeftScratchFolders(Platform& platform);

}  // namespace ravlin

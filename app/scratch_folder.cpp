#include "app/scratch_folder.hpp"

#include "platform/runtime_error.hpp"

namespace ravlin {
namespace {

constexpr std::uint32_t kPathBuffer = 260;
constexpr const char* kScratchPrefix = "rav";
constexpr int kReservationAttempts = 3;

}  // namespace

void RemoveLeftScratchFolders(Platform& platform) {
  platform.tempFiles->RemoveUnheldScratch(kScratchPrefix);
}

ScratchFolder::ScratchFolder(Platform& platform) : platform_(platform) {
  RemoveLeftScratchFolders(platform_);
  std::string tempFolder;
  if (platform_.tempFiles->GetTempPathA(kPathBuffer, tempFolder) == 0)
    throw RuntimeError(vb_error::kPathNotFound);
  // The empty file reserves the name and, held, the folder beside it that takes the same name.
  // Another run's clean-up may take a reservation in the moment before it is held: a new one
  // is made then.
  for (int attempt = 0; attempt < kReservationAttempts && !hold_; ++attempt) {
    if (platform_.tempFiles->GetTempFileNameA(tempFolder, kScratchPrefix, 0, reservation_) == 0)
      throw RuntimeError(vb_error::kPathNotFound);
    hold_ = platform_.tempFiles->HoldTempFile(reservation_);
  }
  if (!hold_) throw RuntimeError(vb_error::kPathFileAccessError);
  folder_ = reservation_ + ".d";
  try {
    platform_.files->CreateFolder(folder_);
  } catch (const RuntimeError&) {
    hold_.reset();
    platform_.files->DeleteFile(reservation_);
    throw;
  }
}

ScratchFolder::~ScratchFolder() {
  try {
    platform_.files->DeleteFolder(folder_, true);
  } catch (const RuntimeError&) {
  }
  // Released before the file goes: Windows deletes no file that is held open.
  hold_.reset();
  try {
    platform_.files->DeleteFile(reservation_);
  } catch (const RuntimeError&) {
  }
}

}  // namespace ravlin

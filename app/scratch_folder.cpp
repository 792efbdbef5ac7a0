#include "app/scratch_folder.hpp"

#include "platform/runtime_error.hpp"

namespace ravlin {
namespace {

constexpr std::uint32_t kPathBuffer = 260;

}  // namespace

ScratchFolder::ScratchFolder(Platform& platform) : platform_(platform) {
  std::string tempFolder;
  if (platform_.tempFiles->GetTempPathA(kPathBuffer, tempFolder) == 0 ||
      platform_.tempFiles->GetTempFileNameA(tempFolder, "rav", 0, reservation_) == 0)
    throw RuntimeError(vb_error::kPathNotFound);
  // The empty file reserves the name; the folder beside it takes the same name.
  folder_ = reservation_ + ".d";
  try {
    platform_.files->CreateFolder(folder_);
  } catch (const RuntimeError&) {
    platform_.files->DeleteFile(reservation_);
    throw;
  }
}

ScratchFolder::~ScratchFolder() {
  try {
    platform_.files->DeleteFolder(folder_, true);
  } catch (const RuntimeError&) {
  }
  try {
    platform_.files->DeleteFile(reservation_);
  } catch (const RuntimeError&) {
  }
}

}  // namespace ravlin

#include <exception>
#include <functional>

#include "fso/clsFSO.hpp"
#include "fso/error_text.hpp"
#include "fso/path_names.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::uint16_t kNormal = 0;
constexpr std::uint32_t kArchiveOnly = 32;
// The title of boxes that name none of their own.
constexpr const char* kApplicationTitle = "Ravlin";

bool EndsWithBackslash(const std::string& path) {
  return !path.empty() && path.back() == '\\';
}

// The pieces of text that tell a copy from a move in its error box.
struct TransferKind {
  const char* what;   // "copying" or "moving"
  const char* title;  // the box's title
  int style;          // the box's icon and buttons
};

constexpr TransferKind kCopy{"copying", "Error Detected", mb::kExclamation | mb::kOkOnly};
constexpr TransferKind kMove{"moving", "Errors detected", mb::kInformation | mb::kOkOnly};

// Copies or moves one file as Copy_File and Move_File describe it: the replace question, the
// source's attributes carried over, the error box.
bool TransferFile(Platform& platform, FileService& fso, const FileInfoRecord& lastFile,
                  const std::string& strSource, const std::string& strTarget,
                  const TransferKind& kind,
                  const std::function<void(const std::string&, const std::string&)>& transfer) {
  try {
    if (fso.FileExists(strTarget)) {
      const std::string question = "File already exist at\r\n" + strTarget + "\r\n" +
                                   lastFile.DateLastModified + "\r\n" + lastFile.Size +
                                   "\r\n\r\nDo you want to replace it?";
      if (platform.ui->MessageBox(question, mb::kQuestion | mb::kYesNo, "Replace File?") !=
          mb::kIdYes)
        return false;
      // Deleting the target first would lose the very file that is to be copied.
      if (EqualsIgnoringAsciiCase(strSource, strTarget))
        throw RuntimeError(vb_error::kPermissionDenied);
      platform.attributes->SetAttr(strTarget, kNormal);
      platform.attributes->Kill(strTarget);
    }
    const std::uint16_t attributes = platform.attributes->GetAttr(strSource);
    transfer(strSource, strTarget);
    // Into a folder, the attributes belong to the file that arrived there, not to the folder.
    const std::string arrived =
        EndsWithBackslash(strTarget) ? strTarget + GetFileName(strSource) : strTarget;
    platform.attributes->SetAttr(arrived, attributes);
    return true;
  } catch (const RuntimeError& error) {
    platform.ui->MessageBox(ErrorLine(error) + "\r\n\r\nError while " + kind.what +
                                " a file\r\n\r\nFROM: " + strSource + "\r\nTO: " + strTarget,
                            kind.style, kind.title);
    return false;
  }
}

// Splits a path list at ";" and hands every non-empty piece to `each`.
void ForEachListed(const std::string& list, const std::function<void(const std::string&)>& each) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(';', start), list.size());
    if (end > start) each(list.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

bool clsFSO::Create_Dir_Struct(const std::string& strPath) {
  if (TrimSpaces(strPath).empty()) return false;
  std::string level;
  try {
    const std::string path = Add_Trailing_Slash(strPath);
    const FileServiceUse fso(platform_);
    for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
      level = path.substr(0, at);
      if (!fso->FolderExists(level)) fso->CreateFolder(level);
    }
  } catch (const RuntimeError& error) {
    platform_.ui->MessageBox(
        ErrorLine(error) + "\r\n\r\nAn error occured while trying to create " + level,
        mb::kInformation | mb::kOkOnly, "Error creating folder");
    return false;
  }
  return true;
}

bool clsFSO::Copy_File(const std::string& strSource, const std::string& strTarget) {
  const FileServiceUse fso(platform_);
  return TransferFile(
      platform_, *fso, udtFileInfo, strSource, strTarget, kCopy,
      [&fso](const std::string& from, const std::string& to) { fso->CopyFile(from, to, true); });
}

bool clsFSO::Move_File(const std::string& strSource, const std::string& strTarget) {
  const FileServiceUse fso(platform_);
  return TransferFile(
      platform_, *fso, udtFileInfo, strSource, strTarget, kMove,
      [&fso](const std::string& from, const std::string& to) { fso->MoveFile(from, to); });
}

bool clsFSO::KillFile(const std::string& strFile) {
  // Archive only: read-only, hidden and system no longer stand in the deletion's way.
  platform_.attributes->SetFileAttributesA(strFile, kArchiveOnly);
  platform_.attributes->DeleteFileA(strFile);
  bool stillThere = false;
  try {
    stillThere = File_Exist(strFile);
  } catch (const std::exception&) {
    stillThere = false;
  }
  return !stillThere;
}

bool clsFSO::DelTree32(const std::string& strPath) {
  try {
    const FileServiceUse fso(platform_);
    fso->DeleteFolder(strPath, true);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool clsFSO::KillDir(const std::string& strPath, bool RecreatePath) {
  if (Folder_Exist(strPath) && !DelTree32(strPath)) {
    // The folder resists as a whole: delete what can be deleted and leave the rest.
    const auto ignoringErrors = [](const std::function<void()>& step) {
      try {
        step();
      } catch (const std::exception&) {
        // Best effort: whatever resists stays.
      }
    };
    ignoringErrors([&] {
      ForEachListed(Get_FileList(strPath, true, "*.*").value_or(""),
                    [&](const std::string& file) { platform_.attributes->DeleteFileA(file); });
    });
    ignoringErrors([&] {
      ForEachListed(Get_DirList(strPath), [&](const std::string& folder) { DelTree32(folder); });
    });
    return false;
  }
  if (RecreatePath && !Create_Dir_Struct(strPath))
    platform_.ui->MessageBox("Error recreating:  \r\n" + strPath, mb::kOkOnly, kApplicationTitle);
  return true;
}

}  // namespace ravlin

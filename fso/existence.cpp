#include <exception>

#include "fso/clsFSO.hpp"
#include "fso/path_names.hpp"
#include "platform/runtime_error.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr const char* kProbeFileName = "_Test.$$$";

}  // namespace

bool clsFSO::File_Exist(const std::string& strSearchItem) {
  if (TrimSpaces(strSearchItem).empty()) return false;
  // Only a file on a present, ready drive of a known type counts.
  std::int32_t driveType = 0;
  if (!Drive_Exist(strSearchItem.substr(0, 2), driveType)) return false;
  if (driveType == 0) return false;
  if (strSearchItem.size() > 3 && !Folder_Exist(GetParentFolderName(strSearchItem))) return false;
  const FileServiceUse fso(platform_);
  return fso->FileExists(strSearchItem);
}

bool clsFSO::Folder_Exist(const std::string& strFolder) {
  const FileServiceUse fso(platform_);
  return fso->FolderExists(Remove_Trailing_Slash(strFolder));
}

bool clsFSO::Drive_Exist(const std::string& strSearchData, std::int32_t& lngDriveType) {
  lngDriveType = 0;
  try {
    if (strSearchData.size() < 2 || strSearchData[1] != ':') return false;
    const std::string drive = strSearchData.substr(0, 2);
    const FileServiceUse fso(platform_);
    if (!fso->DriveExists(drive)) return false;
    if (!IsDriveReady(drive)) return false;
    lngDriveType = fso->DriveType(drive);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool clsFSO::IsDriveReady(const std::string& strDrive) {
  // The character code of an empty text is an invalid call, as in the classic runtime.
  if (strDrive.empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  const char letter = UpperAscii(strDrive.front());
  if (letter < 'A' || letter > 'Z') return false;
  const FileServiceUse fso(platform_);
  return fso->DriveIsReady(std::string{letter, ':'});
}

std::vector<std::string> clsFSO::Available_Drives() {
  std::string buffer(260, ' ');
  platform_.drives->GetLogicalDriveStringsA(260, buffer);
  buffer = TrimSpaces(buffer);
  const auto lastBackslash = buffer.rfind('\\');
  buffer.erase(lastBackslash == std::string::npos ? 0 : lastBackslash + 1);

  std::vector<std::string> roots;
  if (buffer.empty()) return roots;
  std::size_t start = 0;
  for (auto nul = buffer.find('\0'); nul != std::string::npos; nul = buffer.find('\0', start)) {
    roots.push_back(buffer.substr(start, nul - start));
    start = nul + 1;
  }
  roots.push_back(buffer.substr(start));
  return roots;
}

bool clsFSO::IsThisRestricted(const std::string& strPath) {
  const std::string folder = TrimSpaces(strPath);
  if (folder.empty()) return true;
  const std::string probe = Add_Trailing_Slash(folder) + kProbeFileName;
  bool probeExistedBefore = true;
  bool probeWritten = false;
  const FileServiceUse fso(platform_);
  try {
    probeExistedBefore = fso->FileExists(probe);
    fso->WriteText(probe, "X\r\n", false);
    probeWritten = true;
    fso->WriteText(probe, "ABC\r\n", true);
    fso->DeleteFile(probe);
    return false;
  } catch (const std::exception&) {
    // A probe that this call created or emptied is not left behind in the user's folder; a
    // file of that name that was there before and that the probe never touched stays.
    if (probeWritten || !probeExistedBefore) {
      try {
        fso->DeleteFile(probe);
      } catch (const std::exception&) {
        // Nothing was created, or the folder refuses the deletion too; the answer stays.
      }
    }
    return true;
  }
}

}  // namespace ravlin

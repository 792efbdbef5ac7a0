#include <exception>

#include "fso/clsFSO.hpp"
#include "fso/date_text.hpp"
#include "fso/path_names.hpp"

namespace ravlin {
namespace {

using dos_attribute::kAlias;
using dos_attribute::kArchive;
using dos_attribute::kDirectory;
using dos_attribute::kHidden;
using dos_attribute::kReadOnly;
using dos_attribute::kSystem;
using dos_attribute::kVolume;

}  // namespace

Variant clsFSO::Get_FileProperties(const Variant& FullPathAndNameOfFile) {
  platform_.shell->ShowProperties(VariantToText(FullPathAndNameOfFile));
  return Variant{};
}

std::string clsFSO::Get_Version(const std::string& strFilename) {
  const FileServiceUse fso(platform_);
  return fso->GetFileVersion(strFilename);
}

bool clsFSO::Get_FileInfo(const std::string& strFilename) {
  bool result = false;
  const FileServiceUse fso(platform_);
  if (TrimSpaces(strFilename).empty()) return false;
  try {
    const FileDetails file = fso->GetFile(strFilename);
    udtFileInfo.Drive = file.drive;
    udtFileInfo.Path = file.path;
    udtFileInfo.ParentFolder = file.parentFolder;
    udtFileInfo.Size = std::to_string(file.size);
    udtFileInfo.Type = file.type;
    udtFileInfo.Extension = GetExtensionName(file.path);
    udtFileInfo.DateLastAccessed = DateText(file.lastAccessed);
    udtFileInfo.DateLastModified = DateText(file.lastModified);
    udtFileInfo.DateCreated = DateText(file.created);
    udtFileInfo.Attributes = Attribute_String(static_cast<std::int32_t>(file.attributes));
    result = true;
  } catch (const std::exception&) {
    // An unreadable file only leaves the answer false.
  }
  return result;
}

std::string clsFSO::Attribute_String(std::int32_t lngValue) {
  if (lngValue == kVolume) return "V";
  if (lngValue == kAlias) return "Alias";
  constexpr std::int32_t kLettered = kReadOnly | kHidden | kSystem | kDirectory | kArchive;
  if ((lngValue & ~kLettered) != 0) return "";
  // Combinations the table leaves without text: directory with system and one of read-only
  // or hidden, and system with archive and one of them. 36 and 39 spell their own bits.
  switch (lngValue) {
    case 21:
    case 22:
    case 37:
    case 38:
      return "";
    default:
      break;
  }
  std::string letters;
  if ((lngValue & kDirectory) != 0) letters += 'D';
  if ((lngValue & kReadOnly) != 0) letters += 'R';
  if ((lngValue & kHidden) != 0) letters += 'H';
  if ((lngValue & kSystem) != 0) letters += 'S';
  if ((lngValue & kArchive) != 0) letters += 'A';
  return letters;
}

}  // namespace ravlin

#include "fso/clsFSO.hpp"
#include "fso/path_names.hpp"

namespace ravlin {
std::string clsFSO::StripDrive(const std::string& strPath) {
  // A text in braces (a class identifier, for example) is never a path.
  if (!strPath.empty() && strPath.front() == '{' && strPath.back() == '}') return strPath;
  if (strPath.size() >= 2 && strPath[1] == ':') return strPath.substr(2);
  return {};
}

std::string clsFSO::Get_Extension(const std::string& strFilename) {
  return GetExtensionName(strFilename);
}

std::string clsFSO::Get_Filename(const std::string& strFilename) {
  return GetFileName(strFilename);
}

std::string clsFSO::Get_Path(const std::string& strFilename) {
  return GetParentFolderName(strFilename);
}

std::string clsFSO::Add_Trailing_Slash(const std::string& strPath) {
  std::string trimmed = TrimSpaces(strPath);
  if (trimmed.empty() || trimmed.back() != '\\') trimmed += '\\';
  return trimmed;
}

std::string clsFSO::Remove_Trailing_Slash(const std::string& strPath) {
  std::string trimmed = TrimSpaces(strPath);
  if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  return trimmed;
}

std::string clsFSO::Remove_Nulls(const std::string& strInput) {
  return strInput.substr(0, strInput.find('\0'));
}

}  // namespace ravlin

#include <algorithm>
#include <vector>

#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// Names in the order NTFS keeps them (compared in capitals), whatever order the file system
// of the folder lists them in.
std::vector<std::wstring> SortedNames(std::vector<std::wstring> names) {
  std::vector<std::pair<std::wstring, std::wstring>> keyed;
  keyed.reserve(names.size());
  for (std::wstring& name : names) keyed.emplace_back(UpperCase(name), std::move(name));
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::wstring> sorted;
  sorted.reserve(keyed.size());
  for (auto& [key, name] : keyed) sorted.push_back(std::move(name));
  return sorted;
}

std::vector<std::string> FullPaths(const std::string& folder,
                                   const std::vector<std::wstring>& names) {
  const std::string prefix = folder.ends_with('\\') ? folder : folder + '\\';
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const std::wstring& name : names) paths.push_back(prefix + Narrow(name));
  return paths;
}

// The description the shell gives the file's type; where it has none, "<EXT> File" as
// Windows names types it does not know.
std::string TypeDescription(const std::wstring& path) {
  SHFILEINFOW information{};
  if (::SHGetFileInfoW(path.c_str(), 0, &information, sizeof information, SHGFI_TYPENAME) != 0 &&
      information.szTypeName[0] != L'\0')
    return Narrow(information.szTypeName);
  const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  const auto dot = name.find_last_of(L'.');
  if (dot == std::wstring::npos || dot + 1 == name.size()) return "File";
  return Narrow(UpperCase(name.substr(dot + 1))) + " File";
}

// Opens an existing file for reading; a folder or a missing file is 53.
// A regular file opened for reading; below the guest folder only when no junction or link
// between them leads elsewhere.
UniqueHandle OpenForReading(const Win32GuestRoot& guest, const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  guest.CheckChange(path, true);
  const std::wstring full = FullPath(path);
  const auto attributes = AttributesOf(full);
  if (!attributes) throw MissingEntryError(vb_error::kFileNotFound);
  if (IsFolder(*attributes)) throw RuntimeError(vb_error::kFileNotFound);
  UniqueHandle file(::CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) throw MissingEntryError(vb_error::kFileNotFound);
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
    throw RuntimeError(vb_error::kPathFileAccessError);
  return file;
}

}  // namespace

FolderListing Win32FileService::GetFolder(const std::string& path) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kPathNotFound);
  const std::string folder = WithCapitalDrive(Narrow(FullPath(path)));
  const auto attributes = AttributesOf(Wide(folder));
  if (!attributes) throw MissingEntryError(vb_error::kPathNotFound);
  if (!IsFolder(*attributes)) throw RuntimeError(vb_error::kPathNotFound);

  std::vector<std::wstring> files;
  std::vector<std::wstring> subFolders;
  const std::wstring pattern = Wide(folder.ends_with('\\') ? folder + "*" : folder + "\\*");
  WIN32_FIND_DATAW found{};
  const FindHandle search(::FindFirstFileW(pattern.c_str(), &found));
  if (!search.Valid()) {
    // An empty drive root lists nothing at all, not even "." and "..".
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) throw ErrorFromLastError(vb_error::kPathNotFound);
  } else {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (!IsFolder(found.dwFileAttributes))
        files.push_back(name);
      else if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        subFolders.push_back(name);  // a junction is not entered: a walk stays in the tree
    } while (::FindNextFileW(search.Get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES) throw ErrorFromLastError(vb_error::kPathNotFound);
  }

  FolderListing listing;
  listing.files = FullPaths(folder, SortedNames(std::move(files)));
  listing.subFolders = FullPaths(folder, SortedNames(std::move(subFolders)));
  return listing;
}

FileDetails Win32FileService::GetFile(const std::string& path) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  const std::wstring full = LongFullPath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data))
    throw MissingEntryError(vb_error::kFileNotFound);
  if (IsFolder(data.dwFileAttributes)) throw RuntimeError(vb_error::kFileNotFound);

  FileDetails details;
  details.path = WithCapitalDrive(Narrow(full));
  details.drive = details.path.size() >= 2 && details.path[1] == ':' ? details.path.substr(0, 2)
                                                                     : std::string();
  details.parentFolder = WithCapitalDrive(Narrow(ParentFolder(full)));
  details.size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
  details.type = TypeDescription(full);
  details.lastAccessed = TimeOf(data.ftLastAccessTime);
  details.lastModified = TimeOf(data.ftLastWriteTime);
  details.created = TimeOf(data.ftCreationTime);
  details.attributes = data.dwFileAttributes &
                       (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
  return details;
}

std::string Win32FileService::ReadAllText(const std::string& path) {
  const UniqueHandle file = OpenForReading(*guest_, path);
  std::string content;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD count = 0;
    if (!::ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr))
      throw ErrorFromLastError();
    if (count == 0) break;
    content.append(buffer.data(), count);
  }
  return content;
}

FilePart Win32FileService::ReadFilePart(const std::string& path, std::uint64_t offset,
                                        std::size_t length) {
  const UniqueHandle file = OpenForReading(*guest_, path);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size)) throw ErrorFromLastError();
  FilePart part;
  part.fileSize = static_cast<std::uint64_t>(size.QuadPart);
  if (offset >= part.fileSize) return part;
  part.bytes.resize(
      static_cast<std::size_t>(std::min<std::uint64_t>(length, part.fileSize - offset)));
  std::size_t filled = 0;
  while (filled < part.bytes.size()) {
    // Each read names its own offset: no call to move the file pointer is needed.
    const std::uint64_t at = offset + filled;
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD count = 0;
    const auto wanted =
        static_cast<DWORD>(std::min<std::size_t>(part.bytes.size() - filled, 1 << 20));
    if (!::ReadFile(file.Get(), part.bytes.data() + filled, wanted, &count, &position)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      throw ErrorFromLastError();
    }
    if (count == 0) break;
    filled += count;
  }
  part.bytes.resize(filled);
  return part;
}

std::string Win32FileService::GetFileVersion(const std::string& path) {
  OpenForReading(*guest_, path);  // a missing file or a folder is an error, not "no version"
  const std::wstring full = FullPath(path);
  const SystemLibrary version(L"version.dll");
  const auto infoSize =
      version.Find<decltype(&::GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
  const auto info = version.Find<decltype(&::GetFileVersionInfoW)>("GetFileVersionInfoW");
  const auto query = version.Find<decltype(&::VerQueryValueW)>("VerQueryValueW");
  if (infoSize == nullptr || info == nullptr || query == nullptr) return {};
  DWORD ignored = 0;
  const DWORD size = infoSize(full.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> information(size);
  if (!info(full.c_str(), 0, size, information.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!query(information.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
    return {};
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace ravlin

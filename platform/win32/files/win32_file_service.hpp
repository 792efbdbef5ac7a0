#pragma once

#include <memory>
#include <string>

#include "platform/file_service.hpp"
#include "platform/win32/files/win32_guest_root.hpp"

namespace ravlin {

// The file-service component over the system's wide file calls; path texts are the system's
// own paths.
class Win32FileService : public FileService {
 public:
  // `guest` is shared with the other services that change files (attributes, temporary files).
  explicit Win32FileService(
      std::shared_ptr<Win32GuestRoot> guest = std::make_shared<Win32GuestRoot>());

  // win32_file_service_queries.cpp
  bool FileExists(const std::string& path) override;
  PathKind KindOfEntry(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  bool DriveExists(const std::string& drive) override;
  bool DriveIsReady(const std::string& drive) override;
  std::int32_t DriveType(const std::string& drive) override;
  void CreateFolder(const std::string& path) override;
  bool NormalFileMatches(const std::string& pattern) override;
  void ConfineChangesBeneath(const std::string& folder) override;

  // win32_file_service_output.cpp
  void WriteText(const std::string& path, const std::string& text, bool append) override;
  void DeleteFile(const std::string& path) override;

  // win32_file_service_changes.cpp
  void CopyFile(const std::string& source, const std::string& destination, bool overwrite) override;
  void MoveFile(const std::string& source, const std::string& destination) override;
  void DeleteFolder(const std::string& path, bool force) override;

  // win32_file_service_listing.cpp
  FolderListing GetFolder(const std::string& path) override;
  FileDetails GetFile(const std::string& path) override;
  std::string ReadAllText(const std::string& path) override;
  FilePart ReadFilePart(const std::string& path, std::uint64_t offset, std::size_t length) override;
  std::string GetFileVersion(const std::string& path) override;

 private:
  std::shared_ptr<Win32GuestRoot> guest_;
};

// The toolkit's drive type code for a drive letter (GetDriveTypeW's 2..6 mapped; 0 for an
// unknown type or a letter without drive).
std::int32_t ToolkitDriveType(char letter);

}  // namespace ravlin

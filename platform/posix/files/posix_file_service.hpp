#pragma once

#include <memory>
#include <string>

#include "platform/file_service.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/guest_root.hpp"

namespace ravlin {

// The file-service component on Linux: path texts reach the machine through the drive table,
// each existing component found ignoring case.
class PosixFileService : public FileService {
 public:
  // `guest` is shared with the other services that change files (attributes, deletion).
  explicit PosixFileService(std::shared_ptr<const DriveTable> drives,
                            std::shared_ptr<GuestRoot> guest = std::make_shared<GuestRoot>());

  // posix_file_service_queries.cpp
  bool FileExists(const std::string& path) override;
  PathKind KindOfEntry(const std::string& path) override;
  bool FolderExists(const std::string& path) override;
  bool DriveExists(const std::string& drive) override;
  bool DriveIsReady(const std::string& drive) override;
  std::int32_t DriveType(const std::string& drive) override;
  void CreateFolder(const std::string& path) override;
  bool NormalFileMatches(const std::string& pattern) override;

  // posix_file_service_output.cpp
  void WriteText(const std::string& path, const std::string& text, bool append) override;
  void DeleteFile(const std::string& path) override;
  void ConfineChangesBeneath(const std::string& folder) override;

  // posix_file_service_changes.cpp
  void CopyFile(const std::string& source, const std::string& destination, bool overwrite) override;
  void MoveFile(const std::string& source, const std::string& destination) override;
  void DeleteFolder(const std::string& path, bool force) override;

  // posix_file_service_listing.cpp
  FolderListing GetFolder(const std::string& path) override;
  FileDetails GetFile(const std::string& path) override;
  std::string ReadAllText(const std::string& path) override;
  FilePart ReadFilePart(const std::string& path, std::uint64_t offset, std::size_t length) override;
  // Digested where it lies, mapped into memory, without a copy.
  FileDigest DigestFile(const std::string& path, std::uint64_t largest) override;
  std::string GetFileVersion(const std::string& path) override;

 private:
  // The letter of a drive text ("C", "C:", "C:\"); throws 5 for any other text and 68 for a
  // letter without drive.
  char DriveLetterOrThrow(const std::string& drive) const;

  std::shared_ptr<const DriveTable> drives_;
  std::shared_ptr<GuestRoot> guest_;
};

}  // namespace ravlin

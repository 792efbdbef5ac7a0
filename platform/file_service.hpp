#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravlin {

// A folder's immediate content, each element by its full path, in the platform's order.
struct FolderListing {
  std::vector<std::string> files;
  std::vector<std::string> subFolders;
};

using FileTime = std::chrono::system_clock::time_point;

// What the file-service component tells about one file.
struct FileDetails {
  std::string drive;         // "C:"
  std::string path;          // full path as the platform names it
  std::string parentFolder;  // full path of the containing folder
  std::uint64_t size = 0;
  std::string type;  // the file type's description, e.g. "Text Document"
  FileTime lastAccessed;
  FileTime lastModified;
  FileTime created;
  std::uint32_t attributes = 0;  // read-only 1, hidden 2, system 4, directory 16, archive 32
  // Equal pairs name the same file (a hard link included); both 0 where the platform does not
  // tell.
  std::uint64_t volumeId = 0;
  std::uint64_t fileId = 0;
};

// What a path names, its last part not followed when it is a link.
enum class PathKind { kMissing, kFile, kFolder, kLink, kOther };

// "a link", "a folder" ...: what a message says the path is.
inline const char* PathKindText(PathKind kind) {
  switch (kind) {
    case PathKind::kMissing:
      return "missing";
    case PathKind::kFile:
      return "a file";
    case PathKind::kFolder:
      return "a folder";
    case PathKind::kLink:
      return "a link";
    default:
      return "a device, pipe or socket";
  }
}

// A piece of a file and the file's size when it was read.
struct FilePart {
  std::string bytes;
  std::uint64_t fileSize = 0;
};

// The size and SHA-256 digest of a file; no digest when it is larger than was asked for.
struct FileDigest {
  std::uint64_t size = 0;
  std::optional<std::string> sha256;
};

// DOS attribute bits as the file-service component reports them.
namespace dos_attribute {
inline constexpr std::uint16_t kReadOnly = 1;
inline constexpr std::uint16_t kHidden = 2;
inline constexpr std::uint16_t kSystem = 4;
inline constexpr std::uint16_t kVolume = 8;
inline constexpr std::uint16_t kDirectory = 16;
inline constexpr std::uint16_t kArchive = 32;
inline constexpr std::uint16_t kAlias = 64;
}  // namespace dos_attribute

// Drive type codes.
namespace drive_type {
inline constexpr std::int32_t kUnknown = 0;
inline constexpr std::int32_t kRemovable = 1;
inline constexpr std::int32_t kFixed = 2;
inline constexpr std::int32_t kNetwork = 3;
inline constexpr std::int32_t kCdRom = 4;
inline constexpr std::int32_t kRamDisk = 5;
}  // namespace drive_type

// The machine side of the scripting file-service component. Paths are Windows path texts
// (drive letter, colon, backslashes) in the ANSI code page. Failures throw RuntimeError with
// the classic numbers (53 File not found, 58 File already exists, 70 Permission denied,
// 76 Path not found, ...).
class FileService {
 public:
  virtual ~FileService() = default;

  // True only for an existing file, whatever its attributes; false for a folder and for a
  // text holding wildcard characters.
  virtual bool FileExists(const std::string& path) = 0;
  // What the path names itself: a link is kLink whatever it leads to; a pipe, a device or a
  // socket is kOther. Below the guest folder the path is reached beneath it (75 otherwise).
  virtual PathKind KindOfEntry(const std::string& path) = 0;
  // True for an existing folder; a bare present and ready drive such as "C:" counts.
  virtual bool FolderExists(const std::string& path) = 0;
  // True when a drive with that letter is present, ready or not ("C:", "C:\", "C").
  virtual bool DriveExists(const std::string& drive) = 0;
  // Readiness and type of a drive; both throw 68 (Device unavailable) for a letter without
  // drive.
  virtual bool DriveIsReady(const std::string& drive) = 0;
  virtual std::int32_t DriveType(const std::string& drive) = 0;

  // Creates one folder whose parent exists; throws when it exists already (58), when the
  // parent is missing (76), or when the path is empty or invalid.
  virtual void CreateFolder(const std::string& path) = 0;
  // Copies one file; a destination ending in a backslash is an existing folder that
  // receives the file under its own name.
  virtual void CopyFile(const std::string& source, const std::string& destination,
                        bool overwrite) = 0;
  // Moves one file; fails when the destination file exists already.
  virtual void MoveFile(const std::string& source, const std::string& destination) = 0;
  // Deletes a folder with everything in it, read-only items included when `force`.
  virtual void DeleteFolder(const std::string& path, bool force) = 0;

  // The folder's files and immediate subfolders; throws 76 for a missing folder.
  virtual FolderListing GetFolder(const std::string& path) = 0;
  // The file's details; throws 53 for a missing file.
  virtual FileDetails GetFile(const std::string& path) = 0;
  // The whole content of a file, read as text. Only a regular file is read, and opening it
  // never waits: a folder is 53, a pipe or a device 75.
  virtual std::string ReadAllText(const std::string& path) = 0;
  // Up to `length` bytes from `offset` (fewer at the end of the file), so that a file of any
  // size is read in bounded memory; regular files only, as ReadAllText.
  virtual FilePart ReadFilePart(const std::string& path, std::uint64_t offset,
                                std::size_t length) = 0;
  // The file's size and SHA-256 digest; no digest when the file is larger than `largest`, which
  // is then not read. Regular files only, as ReadAllText. This one reads a piece at a time
  // through ReadFilePart, so that memory stays bounded; a backend may digest the file where it
  // lies instead of copying it.
  virtual FileDigest DigestFile(const std::string& path, std::uint64_t largest);
  // The version text of a file's version resource ("5.1.2600.0"), "" when it has none.
  virtual std::string GetFileVersion(const std::string& path) = 0;
  // True when a normal file (not hidden, system or a folder) matches the name, which may
  // hold the wildcards * and ?.
  virtual bool NormalFileMatches(const std::string& pattern) = 0;

  // Sequential output as the classic runtime writes it ("Open ... For Output" or "For
  // Append"): `text` goes into a new or emptied file, or at the end of the file. Throws 76 for
  // a missing folder, 70 when writing is refused, 61 for a full disk.
  virtual void WriteText(const std::string& path, const std::string& text, bool append) = 0;
  // Deletes one file; throws 53 for a missing file, 70 when deleting is refused.
  virtual void DeleteFile(const std::string& path) = 0;

  // The Windows folder the repair works on (never throws). From now on every file or folder that
  // these calls read, create, replace, move or delete below it is reached beneath it: where a link
  // would lead out of it, the call fails (75 Path/File access error) and touches nothing.
  virtual void ConfineChangesBeneath(const std::string& folder) = 0;
};

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace ravlin {

// Drive letters and the mapping between the machine's own paths and drive-letter paths.
class Drives {
 public:
  virtual ~Drives() = default;

  // Writes the root of every present drive, each followed by a NUL, with one more NUL after
  // the last, in letter order ("C:\\\0D:\\\0\0"), into `buffer` (at most `bufferLength`
  // characters) and returns the length written, without the final NUL.
  virtual std::uint32_t GetLogicalDriveStringsA(std::uint32_t bufferLength,
                                                std::string& buffer) = 0;
  // The drive-letter form of a path of the machine ("/mnt/xp/WINDOWS" -> "C:\WINDOWS").
  virtual std::string ToDrivePath(const std::filesystem::path& native) = 0;
  // The machine's path for a drive-letter path, components matched ignoring case; nothing
  // when the text names no drive.
  virtual std::optional<std::filesystem::path> ToNativePath(const std::string& drivePath) = 0;
};

// Free space of a volume, by the extended and by the cluster query.
class DiskSpace {
 public:
  virtual ~DiskSpace() = default;

  // Whether the extended query is offered (on Windows: found in kernel32 at run time).
  virtual bool HasGetDiskFreeSpaceEx() = 0;
  virtual bool GetDiskFreeSpaceExA(const std::string& directory, std::uint64_t& availableToCaller,
                                   std::uint64_t& totalBytes, std::uint64_t& totalFreeBytes) = 0;
  virtual bool GetDiskFreeSpaceA(const std::string& rootPath, std::uint32_t& sectorsPerCluster,
                                 std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                                 std::uint32_t& totalClusters) = 0;
};

// File attributes and file deletion by path.
class FileAttributes {
 public:
  virtual ~FileAttributes() = default;

  // The attribute bits of a file or folder; throws RuntimeError (53 File not found, ...).
  virtual std::uint16_t GetAttr(const std::string& path) = 0;
  // Sets the attribute bits; throws RuntimeError on failure.
  virtual void SetAttr(const std::string& path, std::uint16_t attributes) = 0;
  // Deletes one file; throws RuntimeError on failure.
  virtual void Kill(const std::string& path) = 0;
  // The system calls, reporting by result: SetAttr and Kill without the error.
  bool SetFileAttributesA(const std::string& path, std::uint32_t attributes);
  bool DeleteFileA(const std::string& path);
};

// A temporary file's hold: while it lives, no process's RemoveUnheldScratch removes the file
// or the scratch folder named after it.
class TempHold {
 public:
  virtual ~TempHold() = default;
};

// The system's temporary folder and unique temporary files.
class TempFiles {
 public:
  virtual ~TempFiles() = default;

  // Writes the temporary folder, with a trailing backslash, into `buffer`; returns its
  // length, 0 on failure.
  virtual std::uint32_t GetTempPathA(std::uint32_t bufferLength, std::string& buffer) = 0;
  // With `unique` 0: creates a new empty file named from the first three characters of
  // `prefix`, a hexadecimal number and ".TMP" in `folder`, atomically, and writes its full
  // path into `buffer`. Returns the number used, 0 on failure (the buffer left unchanged).
  virtual std::uint32_t GetTempFileNameA(const std::string& folder, const std::string& prefix,
                                         std::uint32_t unique, std::string& buffer) = 0;
  // Holds the file `path`, which GetTempFileNameA made, until the result goes; null when it
  // cannot be held.
  virtual std::unique_ptr<TempHold> HoldTempFile(const std::string& path) = 0;
  // Removes from the temporary folder each scratch folder "<name>.d" of this user, with the
  // file <name> ("<first three characters of prefix><hex>.TMP") that reserved it, while no
  // process holds that file: left by a run that ended before it could remove them. Where the
  // system can tell the file is this user's own and empty, it goes even without its folder.
  virtual void RemoveUnheldScratch(const std::string& prefix) = 0;
};

// Settings files in the INI format, with Windows' private-profile semantics.
class Profiles {
 public:
  virtual ~Profiles() = default;

  virtual std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                                 const std::string& defaultValue,
                                                 std::string& returned, std::uint32_t size,
                                                 const std::string& file) = 0;
  virtual std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& key,
                                             std::int32_t defaultValue,
                                             const std::string& file) = 0;
  virtual bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                          const std::string& value, const std::string& file) = 0;
};

// The shell's Properties window.
class Shell {
 public:
  virtual ~Shell() = default;

  // Shows the file's properties without waiting; the outcome is not reported.
  virtual void ShowProperties(const std::string& path) = 0;
};

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ravlin {

// Drive letters on Linux: each letter names a directory ("Z" is "/" unless replaced).
// Windows path texts are in the ANSI code page, UTF-8, as the machine's paths are: their
// names pass through byte for byte. Lookup ignores case per component, as NTFS does, while
// new names keep the case given.
// A name in UTF-16 with its letters in upper case (see FoldCase), so that two names equal
// ignoring case, as Windows compares them, give equal texts.
std::u16string FoldedName(const std::string& utf8Name);

class DriveTable {
 public:
  // `mappings` in the form "C=/mnt/xp;D=/media/cdrom", added to or replacing the default.
  explicit DriveTable(const std::string& mappings);

  std::vector<char> Letters() const;
  std::optional<std::filesystem::path> RootOf(char letter) const;
  // "C:\WINDOWS\system32" -> "/mnt/xp/WINDOWS/System32": each component that exists is
  // found ignoring case; the rest keep the case given. Nothing for a text that does not
  // start with a known drive letter and a colon.
  std::optional<std::filesystem::path> ToNative(const std::string& windowsPath) const;
  // ToNative, and also for texts without a drive, as Windows reads them: "\x" on the drive
  // of the current folder, "x" below the current folder. Nothing for a network path
  // ("\\server\share"), which no drive reaches.
  std::optional<std::filesystem::path> ResolveNative(const std::string& windowsPath) const;
  // The drive whose directory is the longest prefix of the path names it: "/mnt/xp/a" ->
  // "C:\a"; a drive's own directory gives its root with the backslash ("C:\").
  std::string ToWindows(const std::filesystem::path& native) const;
  // Drive type from the mount table: network 3, optical 4, tmpfs/ramfs 5, removable 1,
  // other 2.
  std::int32_t TypeOf(char letter) const;
  // Ready when the drive's directory can be read.
  bool IsReady(char letter) const;

 private:
  std::map<char, std::filesystem::path> roots_;
};

}  // namespace ravlin

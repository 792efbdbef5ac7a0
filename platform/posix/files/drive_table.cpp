#include "platform/posix/files/drive_table.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/codepage.hpp"
#include "platform/file_service.hpp"
#include "platform/text_bytes.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// An absolute, lexically normal path without a trailing separator (except "/" itself).
fs::path Normalized(const fs::path& path) {
  std::error_code error;
  fs::path absolute = path.is_absolute() ? path : fs::absolute(path, error);
  if (error) absolute = path;
  absolute = absolute.lexically_normal();
  if (absolute.has_relative_path() && absolute.filename().empty())
    absolute = absolute.parent_path();
  return absolute;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return EqualsIgnoringAsciiCase(a, b) || FoldedName(a) == FoldedName(b);
}

bool EntryExists(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

// The name of the entry of `folder` that matches `name`: the exact name when it exists,
// otherwise the alphabetically first entry equal to it ignoring case, otherwise nothing.
std::optional<std::string> FindEntry(const fs::path& folder, const std::string& name) {
  if (EntryExists(folder / name)) return name;
  std::optional<std::string> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string entry = it->path().filename().string();
    if (SameNameIgnoringCase(entry, name) && (!found || entry < *found)) found = std::move(entry);
  }
  return found;
}

// Mount points and file-system types escape blanks and a few other characters as octal.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::all_of(field.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                    field.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                    [](char c) { return c >= '0' && c <= '7'; })) {
      out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool IsPrefixOf(const fs::path& prefix, const fs::path& path) {
  auto p = prefix.begin();
  auto q = path.begin();
  for (; p != prefix.end(); ++p, ++q)
    if (q == path.end() || *p != *q) return false;
  return true;
}

std::size_t ComponentCount(const fs::path& path) {
  return static_cast<std::size_t>(std::distance(path.begin(), path.end()));
}

// The file-system type of the mount that holds `folder` (the last listed of the longest
// matching mount points, as later mounts hide earlier ones).
std::string MountTypeOf(const fs::path& folder) {
  std::ifstream mounts("/proc/self/mounts");
  std::string line;
  std::string bestType;
  std::size_t bestLength = 0;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string source;
    std::string mountPoint;
    std::string type;
    if (!(fields >> source >> mountPoint >> type)) continue;
    const fs::path point = fs::path(UnescapeMountField(mountPoint)).lexically_normal();
    if (!IsPrefixOf(point, folder)) continue;
    const std::size_t length = ComponentCount(point);
    if (length >= bestLength) {
      bestLength = length;
      bestType = UnescapeMountField(type);
    }
  }
  return bestType;
}

// Whether the block device that holds `folder` is marked removable by the kernel (USB sticks,
// card readers); a partition takes the mark of its disk.
bool OnRemovableDevice(const fs::path& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return false;
  const fs::path device = "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" +
                          std::to_string(minor(info.st_dev));
  std::error_code error;
  const fs::path real = fs::canonical(device, error);
  if (error) return false;
  for (const fs::path& candidate : {real / "removable", real.parent_path() / "removable"}) {
    std::ifstream flag(candidate);
    char value = '0';
    if (flag >> value) return value == '1';
  }
  return false;
}

}  // namespace

std::u16string FoldedName(const std::string& utf8Name) {
  // Read as ANSI text, so that names with stray bytes stay apart instead of all turning into
  // the replacement character.
  return UpperUtf16(AnsiToUtf16(utf8Name));
}

DriveTable::DriveTable(const std::string& mappings) {
  roots_['Z'] = "/";
  std::istringstream entries(mappings);
  std::string entry;
  while (std::getline(entries, entry, ';')) {
    entry = Trimmed(entry);
    const auto equals = entry.find('=');
    if (equals == std::string::npos) continue;
    const std::string letter = Trimmed(entry.substr(0, equals));
    const std::string folder = Trimmed(entry.substr(equals + 1));
    if (letter.size() != 1 || !IsLetter(letter[0]) || folder.empty()) continue;
    roots_[UpperAscii(letter[0])] = Normalized(folder);
  }
}

std::vector<char> DriveTable::Letters() const {
  std::vector<char> letters;
  for (const auto& [letter, root] : roots_) letters.push_back(letter);
  return letters;
}

std::optional<fs::path> DriveTable::RootOf(char letter) const {
  const auto found = roots_.find(UpperAscii(letter));
  if (found == roots_.end()) return std::nullopt;
  return found->second;
}

std::optional<fs::path> DriveTable::ToNative(const std::string& windowsPath) const {
  if (windowsPath.size() < 2 || windowsPath[1] != ':' || !IsLetter(windowsPath[0]))
    return std::nullopt;
  const auto root = RootOf(windowsPath[0]);
  if (!root) return std::nullopt;

  // Backslashes and forward slashes both separate, as on Windows; empty components (doubled
  // separators) and "." vanish, and ".." never climbs above the drive's root.
  std::vector<std::string> components;
  std::string component;
  const std::string rest = windowsPath.substr(2) + '\\';
  for (char c : rest) {
    if (c != '\\' && c != '/') {
      component += c;
      continue;
    }
    if (component == "..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    component.clear();
  }

  fs::path native = *root;
  bool lookingUp = true;
  for (const std::string& name : components) {
    if (lookingUp) {
      if (const auto found = FindEntry(native, name)) {
        native /= *found;
        continue;
      }
      lookingUp = false;  // nothing below a missing name can exist
    }
    native /= name;
  }
  return native;
}

std::optional<fs::path> DriveTable::ResolveNative(const std::string& windowsPath) const {
  if (windowsPath.size() >= 2 && windowsPath[1] == ':') return ToNative(windowsPath);
  const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
  if (windowsPath.size() >= 2 && isSeparator(windowsPath[0]) && isSeparator(windowsPath[1]))
    return std::nullopt;
  std::error_code error;
  const std::string current = ToWindows(fs::current_path(error));
  if (error || current.empty()) return std::nullopt;
  if (!windowsPath.empty() && isSeparator(windowsPath[0]))
    return ToNative(current.substr(0, 2) + windowsPath);
  return ToNative(current + '\\' + windowsPath);
}

std::string DriveTable::ToWindows(const fs::path& native) const {
  const fs::path lexical = Normalized(native);
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(lexical, error);

  // The longest drive directory that holds the path, as given or with its links resolved.
  std::optional<char> bestLetter;
  fs::path bestRemainder;
  std::size_t bestLength = 0;
  for (const auto& [letter, root] : roots_) {
    std::error_code rootError;
    const fs::path realRoot = fs::weakly_canonical(root, rootError);
    for (const fs::path& rootForm : {root, rootError ? root : realRoot}) {
      for (const fs::path& pathForm : {lexical, error ? lexical : resolved}) {
        if (!IsPrefixOf(rootForm, pathForm)) continue;
        const std::size_t length = ComponentCount(rootForm);
        if (bestLetter && length <= bestLength) continue;
        bestLetter = letter;
        bestLength = length;
        bestRemainder = pathForm.lexically_relative(rootForm);
      }
    }
  }
  if (!bestLetter) return {};

  std::string text{*bestLetter, ':', '\\'};
  bool first = true;
  for (const fs::path& part : bestRemainder) {
    if (part.empty() || part == ".") continue;
    if (!first) text += '\\';
    text += part.string();
    first = false;
  }
  return text;
}

std::int32_t DriveTable::TypeOf(char letter) const {
  const auto root = RootOf(letter);
  if (!root) return drive_type::kUnknown;
  std::error_code error;
  fs::path folder = fs::weakly_canonical(*root, error);
  if (error) folder = *root;

  const std::string type = MountTypeOf(folder);
  static const std::vector<std::string> kNetwork{
      "nfs", "nfs4",       "cifs",  "smb3",        "smbfs", "ncpfs",     "afs",           "ceph",
      "9p",  "fuse.sshfs", "sshfs", "fuse.davfs2", "davfs", "glusterfs", "fuse.glusterfs"};
  if (std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end())
    return drive_type::kNetwork;
  if (type == "iso9660" || type == "udf") return drive_type::kCdRom;
  if (type == "tmpfs" || type == "ramfs") return drive_type::kRamDisk;
  if (OnRemovableDevice(folder)) return drive_type::kRemovable;
  return drive_type::kFixed;
}

bool DriveTable::IsReady(char letter) const {
  const auto root = RootOf(letter);
  if (!root) return false;
  DIR* folder = ::opendir(root->c_str());
  if (folder == nullptr) return false;
  ::closedir(folder);
  return true;
}

}  // namespace ravlin

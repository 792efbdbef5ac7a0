#include "platform/posix/files/posix_profiles.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/codepage.hpp"
#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "platform/registry.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

constexpr std::string_view kBlanks = " \t";
// Characters that a Windows file name cannot hold (besides the separators and the drive's
// colon): a settings-file path with any of them names no file.
constexpr std::string_view kInvalidNameCharacters = "*?\"<>|";

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

std::string WithoutTrailingBlanks(const std::string& text) {
  const auto last = text.find_last_not_of(kBlanks);
  return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return FoldedName(AnsiToUtf8(a)) == FoldedName(AnsiToUtf8(b));
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// A value loses one pair of matching quotes around it, as Windows reads it.
std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The file's lines without their line ends, and the line end that the file uses (CR LF for
// a new file, as Windows writes it).
struct IniText {
  std::vector<std::string> lines;
  std::string lineEnd = "\r\n";
};

IniText Parsed(const std::string& content) {
  IniText text;
  if (content.find('\n') != std::string::npos && content.find("\r\n") == std::string::npos)
    text.lineEnd = "\n";
  std::size_t start = 0;
  while (start < content.size()) {
    auto end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    text.lines.push_back(std::move(line));
    start = end + 1;
  }
  return text;
}

std::string Joined(const IniText& text) {
  std::string content;
  for (const auto& line : text.lines) content += line + text.lineEnd;
  return content;
}

// The name of a section header line: the text between the opening bracket and the last
// closing one.
std::optional<std::string> SectionName(const std::string& line) {
  const auto start = line.find_first_not_of(kBlanks);
  if (start == std::string::npos || line[start] != '[') return std::nullopt;
  const auto close = line.rfind(']');
  if (close == std::string::npos || close < start) return std::nullopt;
  return line.substr(start + 1, close - start - 1);
}

struct Entry {
  std::string name;
  std::string value;
};

// An entry line: name and value around the first equals sign, each without surrounding
// blanks. A line without one holds no value.
std::optional<Entry> EntryOf(const std::string& line) {
  const auto equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  return Entry{Trimmed(std::string_view(line).substr(0, equals)),
               Trimmed(std::string_view(line).substr(equals + 1))};
}

// Where a section and one of its entries stand in the file.
struct Location {
  std::optional<std::size_t> sectionLine;
  std::optional<std::size_t> entryLine;
  // Where a new entry of the section goes: after its last line that is not blank.
  std::size_t insertAt = 0;
};

Location Locate(const IniText& text, const std::string& section, const std::string& key) {
  Location location;
  const std::string wantedSection = Trimmed(section);
  const std::string wantedKey = Trimmed(key);
  for (std::size_t i = 0; i < text.lines.size(); ++i) {
    const auto name = SectionName(text.lines[i]);
    if (!name || !SameName(*name, wantedSection)) continue;
    location.sectionLine = i;
    location.insertAt = i + 1;
    for (std::size_t j = i + 1; j < text.lines.size() && !SectionName(text.lines[j]); ++j) {
      if (!Trimmed(text.lines[j]).empty()) location.insertAt = j + 1;
      const auto entry = EntryOf(text.lines[j]);
      if (!location.entryLine && entry && SameName(entry->name, wantedKey)) location.entryLine = j;
    }
    break;
  }
  return location;
}

std::optional<std::string> ReadContent(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return std::nullopt;
  std::ostringstream content;
  content << stream.rdbuf();
  if (stream.bad()) return std::nullopt;
  return content.str();
}

// The entry's value as Windows reads it, or nothing when the file, the section or the entry
// is missing.
std::optional<std::string> StoredValue(const std::optional<fs::path>& file,
                                       const std::string& section, const std::string& key) {
  if (!file) return std::nullopt;
  const auto content = ReadContent(*file);
  if (!content) return std::nullopt;
  const IniText text = Parsed(*content);
  const Location location = Locate(text, section, key);
  if (!location.entryLine) return std::nullopt;
  return Unquoted(EntryOf(text.lines[*location.entryLine])->value);
}

// Windows' reading of an integer: leading blanks, an optional sign, an optional base prefix
// (0x, 0o, 0b), then digits up to the first character that is not one; 32-bit arithmetic
// that wraps.
std::int32_t IntegerOf(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    const char prefix = text[i + 1];
    if (prefix == 'x' || prefix == 'X') base = 16;
    if (prefix == 'o' || prefix == 'O') base = 8;
    if (prefix == 'b' || prefix == 'B') base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit = base;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// Replaces the file's content crash-safely (a flushed new file renamed over the old one),
// keeping the old file's mode, owner and extended attributes.
bool ReplaceContent(const fs::path& target, const std::string& content) {
  UniqueFd folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return false;
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  return DurablyReplace(
             folder.get(), target.filename().string(),
             [&](int fd) { return WriteFully(fd, content.data(), content.size()); },
             exists ? &existing : nullptr, false) == kErrorSuccess;
}

}  // namespace

PosixProfiles::PosixProfiles(std::shared_ptr<const DriveTable> drives)
    : drives_(std::move(drives)) {}

std::optional<fs::path> PosixProfiles::NativeFile(const std::string& file) const {
  if (file.empty() || file.find_first_of(kInvalidNameCharacters) != std::string::npos ||
      HasLineBreak(file))
    return std::nullopt;
  return drives_->ResolveNative(file);
}

std::uint32_t PosixProfiles::GetPrivateProfileStringA(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& defaultValue,
                                                      std::string& returned, std::uint32_t size,
                                                      const std::string& file) {
  // The default loses its trailing blanks, as on Windows.
  const std::string value =
      StoredValue(NativeFile(file), section, key).value_or(WithoutTrailingBlanks(defaultValue));
  // At most size - 1 characters fit beside the terminating NUL.
  returned = size == 0 ? std::string() : value.substr(0, size - 1);
  return static_cast<std::uint32_t>(returned.size());
}

std::int32_t PosixProfiles::GetPrivateProfileIntA(const std::string& section,
                                                  const std::string& key, std::int32_t defaultValue,
                                                  const std::string& file) {
  const auto value = StoredValue(NativeFile(file), section, key);
  // A missing or empty entry gives the default.
  if (!value || value->empty()) return defaultValue;
  return IntegerOf(*value);
}

bool PosixProfiles::WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                               const std::string& value, const std::string& file) {
  // A line break would split the entry and could forge other entries or sections.
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  const auto native = NativeFile(file);
  if (!native) return false;

  // A link is followed, so that the file it names is changed rather than replaced by a
  // file of its own.
  std::error_code error;
  fs::path target = *native;
  if (fs::is_symlink(target, error)) {
    target = fs::canonical(target, error);
    if (error) return false;
  }
  IniText text;
  const auto status = fs::status(target, error);
  if (fs::exists(status)) {
    if (!fs::is_regular_file(status)) return false;
    const auto content = ReadContent(target);
    if (!content) return false;
    text = Parsed(*content);
  }

  const std::string name = Trimmed(key);
  const Location location = Locate(text, section, key);
  if (location.entryLine) {
    // The entry keeps the spelling of its name in the file.
    text.lines[*location.entryLine] = EntryOf(text.lines[*location.entryLine])->name + "=" + value;
  } else if (location.sectionLine) {
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(location.insertAt),
                      name + "=" + value);
  } else {
    if (!text.lines.empty() && !Trimmed(text.lines.back()).empty()) text.lines.emplace_back();
    text.lines.push_back("[" + Trimmed(section) + "]");
    text.lines.push_back(name + "=" + value);
  }
  return ReplaceContent(target, Joined(text));
}

}  // namespace ravlin

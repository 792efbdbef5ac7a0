#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ravlin {

// A setup information file (a driver's INF, or txtsetup.oem, which has the same syntax) as
// sections of lines. Each line is "key = field, field, ..." or only fields; %name% in keys
// and fields is replaced from [Strings] (then the first [Strings.<language>] section), %% by
// one %, quotes are removed ("" inside quotes is one quote), ';' starts a comment outside
// quotes and a '\' at the end of a line continues it on the next. Sections of the same name
// are joined, names compared ignoring case. UTF-16LE and UTF-8 files need their byte order
// mark; other files are read as ANSI.
struct InfLine {
  std::optional<std::string> key;
  std::vector<std::string> fields;
  std::size_t lineNumber = 0;
};

class InfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class InfFile {
 public:
  // Throws InfError for what no INF may hold: text before the first section, a section name
  // without its closing bracket, a line longer than Windows reads.
  static InfFile Parse(std::span<const std::uint8_t> bytes);

  bool HasSection(std::string_view name) const;
  // The lines of a section, empty when there is none.
  const std::vector<InfLine>& Section(std::string_view name) const;
  // The fields of the first line of `section` whose key is `key` (case ignored).
  std::optional<std::vector<std::string>> Values(std::string_view section,
                                                 std::string_view key) const;
  // The first field of that line, or "".
  std::string Value(std::string_view section, std::string_view key) const;
  // Every line of `section` whose key is `key`, in order.
  std::vector<const InfLine*> Lines(std::string_view section, std::string_view key) const;

 private:
  std::map<std::string, std::vector<InfLine>> sections_;  // by lower-case name
};

// An INF's numbers, decimal or with 0x in hexadecimal, as setup reads them; nothing for
// anything else.
std::optional<std::uint32_t> InfNumber(std::string_view text);

// A folder an INF names relative to its own ("\i386", ".\disk1\"), as "i386", "disk1";
// nothing for one that leads out of it (a "..", a drive).
std::optional<std::string> FolderBelow(std::string_view folder);

}  // namespace ravlin

#include "tools/regedit/reg_file.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
  }
  return lines;
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

struct RootName {
  std::u16string_view longName;
  std::u16string_view shortName;
  RegKey key;
};
constexpr std::array<RootName, 6> kRoots{{
    {u"HKEY_LOCAL_MACHINE", u"HKLM", kHkeyLocalMachine},
    {u"HKEY_CURRENT_USER", u"HKCU", kHkeyCurrentUser},
    {u"HKEY_CLASSES_ROOT", u"HKCR", kHkeyClassesRoot},
    {u"HKEY_USERS", u"HKU", kHkeyUsers},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", kHkeyCurrentConfig},
    {u"HKEY_DYN_DATA", u"HKDD", kHkeyDynData},
}};

}  // namespace

RegFileError::RegFileError(int line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason), line_(line) {}

std::vector<std::u16string> DecodeRegFile(std::span<const std::uint8_t> bytes) {
  if (StartsWith(bytes, "\xFF\xFE")) {
    const auto body = bytes.subspan(2);
    auto lines = SplitLines(Utf16FromLe(body));
    if (body.size() % 2 != 0)
      throw RegFileError(static_cast<int>(std::max<std::size_t>(lines.size(), 1)),
                         "the UTF-16 text ends in the middle of a character");
    return lines;
  }
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return SplitLines(Utf8ToUtf16(AsChars(bytes.subspan(3))));
  if (StartsWith(bytes, "REGEDIT4")) return SplitLines(AnsiToUtf16(AsChars(bytes)));
  return SplitLines(Utf8ToUtf16(AsChars(bytes)));
}

std::vector<RegOperation> ParseRegFile(std::span<const std::uint8_t> bytes) {
  return ParseRegFile(DecodeRegFile(bytes));
}

RegKey RootKeyFromRegName(std::u16string_view name) {
  const auto upper = UpperAscii(name);
  for (const auto& root : kRoots)
    if (upper == root.longName || upper == root.shortName) return root.key;
  return 0;
}

std::string RegKeyText(const RegOperation& operation) {
  const auto root = std::find_if(kRoots.begin(), kRoots.end(), [&](const RootName& known) {
    return known.key == operation.root;
  });
  std::string text = root == kRoots.end() ? "?" : Utf16ToAnsi(root->longName);
  return operation.path.empty() ? text : text + "\\" + operation.path;
}

}  // namespace ravlin

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "fso/clsFSO.hpp"
#include "fso/path_names.hpp"
#include "platform/codepage.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {
namespace {

// The shortening works with 16-bit positions and lengths, as the classic code did: a value
// outside their range is an overflow.
std::int16_t Checked16(std::int64_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max())
    throw RuntimeError(vb_error::kOverflow);
  return static_cast<std::int16_t>(value);
}

// A text as its characters, each as its bytes: positions and lengths count characters, as in
// the classic code, so that a path in any language shrinks to the same width and no cut
// falls inside a character.
using Characters = std::vector<std::string_view>;

Characters CharactersOf(std::string_view text) {
  Characters characters;
  while (!text.empty()) {
    const std::size_t size = AnsiCharacterSize(text);
    characters.push_back(text.substr(0, size));
    text.remove_prefix(size);
  }
  return characters;
}

std::string Joined(std::span<const std::string_view> characters) {
  std::string text;
  for (const std::string_view character : characters) text += character;
  return text;
}

// The 1-based position of the first backslash at or after 1-based position `start` of
// `text`, 0 when there is none.
std::int64_t BackslashFrom(std::span<const std::string_view> text, std::int64_t start) {
  if (start < 1 || start > static_cast<std::int64_t>(text.size())) return 0;
  const auto found = std::find(text.begin() + (start - 1), text.end(), "\\");
  return found == text.end() ? 0 : (found - text.begin()) + 1;
}

}  // namespace

std::string clsFSO::BrowseForFolder(Handle frm, const std::string& strPrompt) {
  const auto chosen = platform_.ui->BrowseForFolder(frm, strPrompt);
  if (!chosen) return {};
  return Remove_Nulls(platform_.drives->ToDrivePath(*chosen));
}

std::string clsFSO::Shrink_2_Fit(const std::string& strPath_to_Resize, std::int16_t intMaxLen) {
  const std::string trimmed = TrimSpaces(strPath_to_Resize);
  const Characters characters = CharactersOf(trimmed);
  if (static_cast<std::int64_t>(characters.size()) <= intMaxLen) return trimmed;
  const bool drivePath = trimmed.size() >= 2 && trimmed[1] == ':';
  const bool networkPath = trimmed.size() >= 2 && trimmed[0] == '\\' && trimmed[1] == '\\';
  if (!drivePath && !networkPath) return trimmed;

  const std::int16_t rootEnd = Checked16(BackslashFrom(characters, 3));
  // Without a backslash after the drive or server there is no folder to leave out.
  if (rootEnd == 0) return trimmed;
  const std::int16_t budget = Checked16(std::int64_t{intMaxLen} - rootEnd - 3);
  const std::string prefix =
      Joined(std::span(characters).first(static_cast<std::size_t>(rootEnd))) + "...";

  std::span<const std::string_view> rest = characters;
  const std::int16_t searchStart = Checked16(std::int64_t{rootEnd} + 1);
  bool shortened = false;
  while (true) {
    Checked16(static_cast<std::int64_t>(rest.size()));
    const std::int16_t cut = Checked16(BackslashFrom(rest, searchStart));
    if (cut == 0) break;
    rest = rest.subspan(static_cast<std::size_t>(cut - 1));
    shortened = true;
    if (Checked16(static_cast<std::int64_t>(rest.size())) <= budget) break;
  }
  // A path with nothing between its root and its last name cannot be shortened.
  if (!shortened) return trimmed;
  return prefix + Joined(rest);
}

}  // namespace ravlin

#include "app/inf_file.hpp"

#include <algorithm>
#include <charconv>

#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

// Setup reads lines of at most 4096 characters after continuation.
constexpr std::size_t kMaxLine = 4096;

std::string Text(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return Utf16ToAnsi(Utf16FromLe(bytes.subspan(2, (bytes.size() - 2) & ~std::size_t{1})));
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    bytes = bytes.subspan(3);
  return std::string(bytes.begin(), bytes.end());
}

std::string Trimmed(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, text.find_last_not_of(" \t") + 1 - begin));
}

// One line as written: its parts split at '=' and ',' outside quotes, each still quoted, with
// the comment cut off. `continues` tells whether it ended in '\'.
struct RawLine {
  std::vector<std::string> parts;
  bool hasKey = false;
  bool continues = false;
  std::size_t contentEnd = 0;  // where the comment begins, or the line's length
};

RawLine Split(std::string_view line) {
  RawLine raw;
  std::string part;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ';') {
      raw.contentEnd = i;
      break;
    }
    raw.contentEnd = i + 1;
    if (!quoted && c == '=' && !raw.hasKey && raw.parts.empty()) {
      raw.parts.push_back(Trimmed(part));
      part.clear();
      raw.hasKey = true;
      continue;
    }
    if (!quoted && c == ',') {
      raw.parts.push_back(Trimmed(part));
      part.clear();
      continue;
    }
    part += c;
  }
  part = Trimmed(part);
  if (!quoted && part.ends_with('\\')) {
    raw.continues = true;
    part = Trimmed(std::string_view(part).substr(0, part.size() - 1));
  }
  raw.parts.push_back(part);
  return raw;
}

using Strings = std::map<std::string, std::string>;

// A part with its %tokens% replaced and its quotes removed.
std::string Resolved(std::string_view part, const Strings& strings) {
  std::string out;
  bool quoted = false;
  for (std::size_t i = 0; i < part.size(); ++i) {
    const char c = part[i];
    if (c == '"') {
      if (quoted && i + 1 < part.size() && part[i + 1] == '"') {
        out += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == '%') {
      const auto end = part.find('%', i + 1);
      if (end == std::string_view::npos) {
        out += c;
        continue;
      }
      const std::string name = LowerAscii(part.substr(i + 1, end - i - 1));
      if (name.empty()) {
        out += '%';
      } else if (const auto found = strings.find(name); found != strings.end()) {
        out += found->second;
      } else {
        // Setup leaves an unknown token as it is written.
        out += part.substr(i, end - i + 1);
      }
      i = end;
    } else {
      out += c;
    }
  }
  return out;
}

struct RawSectionLine {
  RawLine raw;
  std::size_t lineNumber;
};

}  // namespace

InfFile InfFile::Parse(std::span<const std::uint8_t> bytes) {
  const std::string text = Text(bytes);
  std::map<std::string, std::vector<RawSectionLine>> raw;
  std::vector<RawSectionLine>* current = nullptr;
  std::string pending;
  std::size_t pendingStart = 0;
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    ++lineNumber;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (pending.empty()) pendingStart = lineNumber;
    pending += line;
    if (pending.size() > kMaxLine)
      throw InfError("line " + std::to_string(pendingStart) + " is longer than " +
                     std::to_string(kMaxLine) + " characters");
    RawLine split = Split(pending);
    if (split.continues) {
      pending = Trimmed(std::string_view(pending).substr(0, split.contentEnd));
      pending.pop_back();
      continue;
    }
    const std::string whole = Trimmed(pending);
    pending.clear();
    if (whole.empty() || whole.front() == ';') continue;
    if (whole.front() == '[') {
      const auto close = whole.find(']');
      if (close == std::string::npos)
        throw InfError("line " + std::to_string(pendingStart) + ": the section name has no ]");
      current = &raw[LowerAscii(Trimmed(std::string_view(whole).substr(1, close - 1)))];
      continue;
    }
    if (current == nullptr)
      throw InfError("line " + std::to_string(pendingStart) + " is outside any section");
    current->push_back({std::move(split), pendingStart});
  }

  // [Strings] first, then the first language's section, each value taken as written.
  Strings strings;
  std::vector<std::string> stringSections;
  for (const auto& [name, lines] : raw)
    if (name == "strings" || name.starts_with("strings.")) stringSections.push_back(name);
  for (const std::string& name : stringSections)
    for (const RawSectionLine& line : raw[name])
      if (line.raw.hasKey && line.raw.parts.size() >= 2)
        strings.emplace(LowerAscii(Resolved(line.raw.parts[0], {})),
                        Resolved(line.raw.parts[1], {}));

  InfFile inf;
  for (const auto& [name, lines] : raw) {
    auto& section = inf.sections_[name];
    for (const RawSectionLine& line : lines) {
      InfLine parsed;
      parsed.lineNumber = line.lineNumber;
      std::size_t first = 0;
      if (line.raw.hasKey) {
        parsed.key = Resolved(line.raw.parts[0], strings);
        first = 1;
      }
      for (std::size_t i = first; i < line.raw.parts.size(); ++i)
        parsed.fields.push_back(Resolved(line.raw.parts[i], strings));
      section.push_back(std::move(parsed));
    }
  }
  return inf;
}

bool InfFile::HasSection(std::string_view name) const {
  return sections_.contains(LowerAscii(name));
}

const std::vector<InfLine>& InfFile::Section(std::string_view name) const {
  static const std::vector<InfLine> kNone;
  const auto found = sections_.find(LowerAscii(name));
  return found == sections_.end() ? kNone : found->second;
}

std::vector<const InfLine*> InfFile::Lines(std::string_view section, std::string_view key) const {
  std::vector<const InfLine*> lines;
  for (const InfLine& line : Section(section))
    if (line.key && EqualsIgnoringAsciiCase(*line.key, key)) lines.push_back(&line);
  return lines;
}

std::optional<std::vector<std::string>> InfFile::Values(std::string_view section,
                                                        std::string_view key) const {
  const auto lines = Lines(section, key);
  if (lines.empty()) return std::nullopt;
  return lines.front()->fields;
}

std::string InfFile::Value(std::string_view section, std::string_view key) const {
  const auto values = Values(section, key);
  return values && !values->empty() ? values->front() : std::string();
}

std::optional<std::uint32_t> InfNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> FolderBelow(std::string_view folder) {
  std::string below;
  std::size_t at = 0;
  while (at <= folder.size()) {
    const auto end = std::min(folder.find_first_of("\\/", at), folder.size());
    const std::string_view part = folder.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find(':') != std::string_view::npos) return std::nullopt;
    below += (below.empty() ? "" : "\\") + std::string(part);
  }
  return below;
}

}  // namespace ravlin

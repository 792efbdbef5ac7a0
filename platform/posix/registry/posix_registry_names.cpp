#include "platform/posix/registry/posix_registry_names.hpp"

#include "platform/codepage.hpp"

namespace ravlin {
namespace {

char16_t UpperCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x39C;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A pairs capital and small letters as neighbours.
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return static_cast<char16_t>(c & ~1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) == 0 ? static_cast<char16_t>(c - 1) : c;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

}  // namespace

std::u16string FoldedRegistryName(std::string_view name) {
  auto folded = Utf8ToUtf16(name);
  for (auto& c : folded) c = UpperCase(c);
  return folded;
}

bool SameRegistryName(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && a == b) return true;
  return FoldedRegistryName(a) == FoldedRegistryName(b);
}

std::vector<std::string> SplitKeyPath(const std::string& ansiPath) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= ansiPath.size()) {
    auto end = ansiPath.find('\\', start);
    if (end == std::string::npos) end = ansiPath.size();
    if (end > start) parts.push_back(AnsiToUtf8(ansiPath.substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

}  // namespace ravlin

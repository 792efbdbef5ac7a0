#include "platform/posix/registry/posix_registry_names.hpp"

#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {

std::u16string FoldedRegistryName(std::string_view name) {
  return UpperUtf16(Utf8ToUtf16(name));
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

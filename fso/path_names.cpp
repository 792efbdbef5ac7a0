#include "fso/path_names.hpp"

#include <string_view>

namespace ravlin {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The length of the root at the start of a path: "C:\" 3, "C:" 2, "\\server\share\" up to
// and including the separator after the share, "\" 1, a relative path 0.
std::size_t RootLength(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::size_t position = 2;
    for (int part = 0; part < 2 && position <= path.size(); ++part) {
      while (position < path.size() && !IsSeparator(path[position])) ++position;
      if (position < path.size()) ++position;
    }
    return position;
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// The path after its root, without trailing separators.
std::string_view Remainder(std::string_view path, std::size_t rootLength) {
  std::string_view rest = path.substr(rootLength);
  while (!rest.empty() && IsSeparator(rest.back())) rest.remove_suffix(1);
  return rest;
}

std::size_t LastSeparator(std::string_view text) {
  for (std::size_t i = text.size(); i > 0; --i)
    if (IsSeparator(text[i - 1])) return i - 1;
  return std::string_view::npos;
}

}  // namespace

std::string GetParentFolderName(const std::string& path) {
  const std::size_t rootLength = RootLength(path);
  std::string_view rest = Remainder(path, rootLength);
  if (rest.empty()) return {};
  const std::size_t separator = LastSeparator(rest);
  if (separator == std::string_view::npos) return path.substr(0, rootLength);
  rest = rest.substr(0, separator);
  while (!rest.empty() && IsSeparator(rest.back())) rest.remove_suffix(1);
  return path.substr(0, rootLength) + std::string(rest);
}

std::string GetFileName(const std::string& path) {
  const std::string_view rest = Remainder(path, RootLength(path));
  const std::size_t separator = LastSeparator(rest);
  return std::string(separator == std::string_view::npos ? rest : rest.substr(separator + 1));
}

std::string GetExtensionName(const std::string& path) {
  const std::string name = GetFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string TrimSpaces(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace ravlin

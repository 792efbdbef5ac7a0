#include "app/image_windows.hpp"

#include <algorithm>
#include <fstream>
#include <set>
#include <string>

namespace ravlin {
namespace {

// boot.ini is a few hundred bytes; a larger one is not read past this.
constexpr std::streamsize kBootIniLimit = 64 * 1024;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return text;
}

// The folder part of each ARC path in boot.ini: "multi(0)disk(0)rdisk(0)partition(1)\WINDOWS"
// names WINDOWS.
std::vector<std::string> BootIniFolders(const std::filesystem::path& bootIni) {
  std::ifstream file(bootIni, std::ios::binary);
  std::string text(static_cast<std::size_t>(kBootIniLimit), '\0');
  file.read(text.data(), kBootIniLimit);
  text.resize(static_cast<std::size_t>(file.gcount()));
  std::vector<std::string> folders;
  std::size_t start = 0;
  while ((start = text.find(")\\", start)) != std::string::npos) {
    start += 2;
    const std::size_t end = text.find_first_of("=\r\n", start);
    std::string folder = text.substr(start, end == std::string::npos ? end : end - start);
    while (!folder.empty() && (folder.back() == ' ' || folder.back() == '\t')) folder.pop_back();
    folders.push_back(folder);
  }
  return folders;
}

}  // namespace

std::filesystem::path FindIgnoringCase(const std::filesystem::path& folder,
                                       const std::filesystem::path& relative) {
  std::filesystem::path found = folder;
  for (const auto& component : relative) {
    const std::string wanted = Lower(component.string());
    if (wanted.empty()) continue;
    std::error_code error;
    std::filesystem::path match;
    for (const auto& entry : std::filesystem::directory_iterator(found, error)) {
      if (Lower(entry.path().filename().string()) == wanted && !entry.is_symlink(error)) {
        match = entry.path();
        break;
      }
    }
    if (match.empty()) return {};
    found = match;
  }
  return found;
}

std::vector<std::filesystem::path> FindWindowsFolders(const std::filesystem::path& volumeRoot) {
  std::vector<std::string> names = {"WINDOWS", "WINNT"};
  if (const auto bootIni = FindIgnoringCase(volumeRoot, "boot.ini"); !bootIni.empty()) {
    const auto named = BootIniFolders(bootIni);
    names.insert(names.end(), named.begin(), named.end());
  }
  std::vector<std::filesystem::path> folders;
  std::set<std::filesystem::path> seen;
  for (std::string name : names) {
    std::replace(name.begin(), name.end(), '\\', '/');
    const auto folder = FindIgnoringCase(volumeRoot, std::filesystem::path(name).relative_path());
    std::error_code error;
    if (folder.empty() || folder == volumeRoot || !std::filesystem::is_directory(folder, error) ||
        seen.contains(folder))
      continue;
    const auto hive = FindIgnoringCase(folder, "system32/config/system");
    if (hive.empty() || !std::filesystem::is_regular_file(hive, error)) continue;
    seen.insert(folder);
    folders.push_back(folder);
  }
  return folders;
}

}  // namespace ravlin

#include "platform/posix/images/mount_table.hpp"

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace ravlin {
namespace {

// The mount table writes a space, tab, newline or backslash in a path as \ooo.
std::string Unescape(const std::string& field) {
  std::string path;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      path += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      path += field[i];
    }
  }
  return path;
}

bool Below(const std::filesystem::path& path, const std::filesystem::path& folder) {
  const auto [end, unused] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end();
}

}  // namespace

std::vector<std::filesystem::path> MountsBelow(const std::filesystem::path& folder) {
  const auto base = std::filesystem::weakly_canonical(folder);
  std::vector<std::filesystem::path> mounts;
  std::ifstream table("/proc/self/mountinfo");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint;
    fields >> id >> parent >> device >> root >> mountPoint;
    const std::filesystem::path path = Unescape(mountPoint);
    if (Below(path, base)) mounts.push_back(path);
  }
  std::sort(mounts.begin(), mounts.end(), [](const auto& a, const auto& b) {
    return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
  });
  return mounts;
}

bool UnmountFolder(const std::filesystem::path& mountPoint, bool detach) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (::umount2(mountPoint.c_str(), detach ? MNT_DETACH : 0) == 0) return true;
    if (errno != EBUSY) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace ravlin

#include "platform/drives.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

bool FileAttributes::SetFileAttributesA(const std::string& path, std::uint32_t attributes) {
  try {
    SetAttr(path, static_cast<std::uint16_t>(attributes));
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

bool FileAttributes::DeleteFileA(const std::string& path) {
  try {
    Kill(path);
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace ravlin

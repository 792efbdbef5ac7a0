#include "app/repair_constants.hpp"

namespace ravlin {

std::string ControlSetName(std::int16_t N) {
  return "ControlSet00" + std::to_string(N);
}

std::string MountedControlSetKey(std::int16_t N) {
  return std::string(kMountName) + "\\" + ControlSetName(N);
}

std::string RegistryFileName(std::int16_t N) {
  return "tarvel00" + std::to_string(N) + ".reg";
}

std::string RequiredFilePath(const std::string& programFolder, std::string_view fileName) {
  return programFolder + std::string(kRequiredFilesFragment) + std::string(fileName);
}

}  // namespace ravlin

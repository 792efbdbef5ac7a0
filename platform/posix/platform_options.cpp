// The machine's settings, apart from the services, so that the importer, which needs only
// these, does not bring every service and its libraries along.
#include <cstdlib>

#include "platform/backend.hpp"
#include "platform/posix/registry/registry_store.hpp"

namespace ravlin {

std::filesystem::path RegistryStoreFor(const char* registry, const char* stateHome,
                                       const char* home) {
  if (registry != nullptr && *registry != '\0') return registry;
  if (stateHome != nullptr && *stateHome != '\0')
    return std::filesystem::path(stateHome) / "ravlin" / "registry";
  return std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "state" / "ravlin" /
         "registry";
}

PlatformOptions PlatformOptions::FromEnvironment() {
  PlatformOptions options;
  if (const char* drives = std::getenv("RAVLIN_DRIVES")) options.drives = drives;
  const char* sysfs = std::getenv("RAVLIN_SYSFS");
  options.sysfsRoot = sysfs != nullptr && *sysfs != '\0' ? sysfs : "/sys";
  options.registryStore = RegistryStoreFor(std::getenv("RAVLIN_REGISTRY"),
                                           std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  options.programFolder = error ? std::filesystem::current_path() : executable.parent_path();
  return options;
}

}  // namespace ravlin

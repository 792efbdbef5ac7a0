#include "platform/posix/posix_platform.hpp"

#include <cstdlib>

#include "platform/posix/drive_table.hpp"
#include "platform/posix/posix_clock.hpp"
#include "platform/posix/posix_file_service.hpp"
#include "platform/posix/posix_profiles.hpp"

namespace ravlin {
namespace {

std::filesystem::path DefaultRegistryStore() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0')
    return std::filesystem::path(state) / "ravlin" / "registry";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "state" / "ravlin" /
         "registry";
}

}  // namespace

PosixOptions PosixOptions::FromEnvironment() {
  PosixOptions options;
  if (const char* drives = std::getenv("RAVLIN_DRIVES")) options.drives = drives;
  if (const char* store = std::getenv("RAVLIN_REGISTRY"); store != nullptr && *store != '\0')
    options.registryStore = store;
  else
    options.registryStore = DefaultRegistryStore();
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  options.programFolder = error ? std::filesystem::current_path() : executable.parent_path();
  return options;
}

Platform MakePosixPlatform(std::shared_ptr<Ui> ui, const PosixOptions& options) {
  // One drive table for every service, so that all of them agree on the letters.
  auto driveTable = std::make_shared<const DriveTable>(options.drives);
  Platform platform;
  platform.ui = std::move(ui);
  platform.clock = std::make_shared<PosixClock>();
  platform.files = std::make_shared<PosixFileService>(driveTable);
  platform.profiles = std::make_shared<PosixProfiles>(driveTable);
  return platform;
}

}  // namespace ravlin

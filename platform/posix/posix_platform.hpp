#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.hpp"

namespace ravlin {

// Where the POSIX backend finds its drives, its registry store and the program folder.
struct PosixOptions {
  // Drive letters in the form "C=/mnt/xp;D=/media/cdrom", added to the default "Z=/".
  std::string drives;
  // The registry store folder (hive files of the predefined roots and the mount table).
  std::filesystem::path registryStore;
  // The folder of the running executable.
  std::filesystem::path programFolder;

  // RAVLIN_DRIVES, RAVLIN_REGISTRY (see RegistryStoreFor) and the folder of /proc/self/exe.
  static PosixOptions FromEnvironment();
  // The store that the values of RAVLIN_REGISTRY, XDG_STATE_HOME and HOME (each null when
  // unset) choose: RAVLIN_REGISTRY, else $XDG_STATE_HOME/ravlin/registry, else
  // ~/.local/state/ravlin/registry.
  static std::filesystem::path RegistryStoreFor(const char* registry, const char* stateHome,
                                                const char* home);
};

// The Linux backend of every platform service; `ui` is the active front end's.
Platform MakePosixPlatform(std::shared_ptr<Ui> ui,
                           const PosixOptions& options = PosixOptions::FromEnvironment());

}  // namespace ravlin

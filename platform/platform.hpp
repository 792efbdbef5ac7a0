#pragma once

#include <memory>

#include "platform/cabinets.hpp"
#include "platform/clock.hpp"
#include "platform/drives.hpp"
#include "platform/environment.hpp"
#include "platform/file_replace.hpp"
#include "platform/file_service.hpp"
#include "platform/hive_reader.hpp"
#include "platform/processes.hpp"
#include "platform/registry.hpp"
#include "platform/storage_controllers.hpp"
#include "platform/token.hpp"
#include "platform/ui.hpp"

namespace ravlin {

// The one seam between the program's logic and the machine: every platform service the
// logic calls. A backend fills it; tests fill it from the POSIX backend plus the few fakes
// they need.
struct Platform {
  std::shared_ptr<Registry> registry;
  std::shared_ptr<Token> token;
  std::shared_ptr<Processes> processes;
  std::shared_ptr<TopLevelWindows> windows;
  std::shared_ptr<Clock> clock;
  std::shared_ptr<Ui> ui;
  std::shared_ptr<Environment> environment;
  std::shared_ptr<FileService> files;
  std::shared_ptr<Drives> drives;
  std::shared_ptr<DiskSpace> diskSpace;
  std::shared_ptr<FileAttributes> attributes;
  std::shared_ptr<TempFiles> tempFiles;
  std::shared_ptr<Profiles> profiles;
  std::shared_ptr<Shell> shell;
  std::shared_ptr<Cabinets> cabinets;
  std::shared_ptr<HiveReader> hiveReader;
  std::shared_ptr<FileReplacer> replacer;
  std::shared_ptr<StorageControllers> storageControllers;
};

}  // namespace ravlin

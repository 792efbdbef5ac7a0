#include "platform/backend.hpp"

#include <iostream>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/posix_cabinets.hpp"
#include "platform/posix/files/posix_disk_space.hpp"
#include "platform/posix/files/posix_drives.hpp"
#include "platform/posix/files/posix_file_attributes.hpp"
#include "platform/posix/files/posix_file_replace.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/files/posix_profiles.hpp"
#include "platform/posix/files/posix_temp_files.hpp"
#include "platform/posix/hardware/sysfs_storage_controllers.hpp"
#include "platform/posix/processes/posix_processes.hpp"
#include "platform/posix/registry/posix_hive_reader.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/posix_token.hpp"
#include "platform/posix/runtime/posix_clock.hpp"
#include "platform/posix/runtime/posix_environment.hpp"
#include "platform/posix/shell/posix_shell.hpp"

namespace ravlin {

Platform MakePlatform(std::shared_ptr<Ui> ui, const PlatformOptions& options) {
  // One drive table for every service, so that all of them agree on the letters.
  auto driveTable = std::make_shared<const DriveTable>(options.drives);
  Platform platform;
  platform.ui = std::move(ui);
  platform.clock = std::make_shared<PosixClock>();
  // The guest folder the repair chose, shared by the services that change files.
  auto guest = std::make_shared<GuestRoot>();
  platform.files = std::make_shared<PosixFileService>(driveTable, guest);
  platform.attributes = std::make_shared<PosixFileAttributes>(driveTable, guest);
  platform.diskSpace = std::make_shared<PosixDiskSpace>(driveTable);
  platform.tempFiles = std::make_shared<PosixTempFiles>(driveTable, guest);
  platform.shell = std::make_shared<PosixShell>(driveTable, std::cout);
  platform.processes = std::make_shared<PosixProcesses>(options.programFolder, driveTable);
  platform.windows = std::make_shared<PosixTopLevelWindows>(options.registryStore);
  platform.profiles = std::make_shared<PosixProfiles>(driveTable);
  platform.drives = std::make_shared<PosixDrives>(driveTable);
  platform.cabinets = std::make_shared<PosixCabinets>(driveTable, guest);
  platform.hiveReader = std::make_shared<PosixHiveReader>(driveTable);
  platform.replacer = std::make_shared<PosixFileReplacer>(driveTable, guest);
  if (!options.sysfsRoot.empty())
    platform.storageControllers = std::make_shared<SysfsStorageControllers>(options.sysfsRoot);
  platform.environment = std::make_shared<PosixEnvironment>(driveTable, options.programFolder);
  // The token enables the hive privileges that the registry asks for before mounting.
  auto privileges = std::make_shared<PrivilegeState>();
  platform.token = std::make_shared<PosixToken>(privileges);
  auto registry = std::make_shared<PosixRegistry>(options.registryStore, driveTable, privileges);
  // The repair's hive is read once and written once; its importers send their changes here.
  registry->HoldMounts();
  platform.registry = std::move(registry);
  return platform;
}

}  // namespace ravlin

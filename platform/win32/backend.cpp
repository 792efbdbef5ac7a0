#include "platform/backend.hpp"

#include "platform/win32/files/win32_cabinets.hpp"
#include "platform/win32/files/win32_disk_space.hpp"
#include "platform/win32/files/win32_drives.hpp"
#include "platform/win32/files/win32_file_attributes.hpp"
#include "platform/win32/files/win32_file_replace.hpp"
#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_guest_root.hpp"
#include "platform/win32/files/win32_profiles.hpp"
#include "platform/win32/files/win32_temp_files.hpp"
#include "platform/win32/hardware/setupapi_storage_controllers.hpp"
#include "platform/win32/processes/win32_processes.hpp"
#include "platform/win32/registry/win32_hive_reader.hpp"
#include "platform/win32/registry/win32_registry.hpp"
#include "platform/win32/registry/win32_token.hpp"
#include "platform/win32/runtime/win32_clock.hpp"
#include "platform/win32/runtime/win32_environment.hpp"
#include "platform/win32/shell/win32_shell.hpp"

namespace ravlin {

// Windows has real drive letters and its own registry: only the program folder matters.
PlatformOptions PlatformOptions::FromEnvironment() {
  PlatformOptions options;
  options.programFolder = ExecutableFolder();
  return options;
}

Platform MakePlatform(std::shared_ptr<Ui> ui, const PlatformOptions& options) {
  Platform platform;
  platform.ui = std::move(ui);
  platform.clock = std::make_shared<Win32Clock>();
  // The guest folder the repair chose, shared by the services that change files.
  auto guest = std::make_shared<Win32GuestRoot>();
  platform.files = std::make_shared<Win32FileService>(guest);
  platform.attributes = std::make_shared<Win32FileAttributes>(guest);
  platform.tempFiles = std::make_shared<Win32TempFiles>(guest);
  platform.diskSpace = std::make_shared<Win32DiskSpace>();
  platform.profiles = std::make_shared<Win32Profiles>();
  platform.drives = std::make_shared<Win32Drives>();
  platform.replacer = std::make_shared<Win32FileReplacer>(guest);
  platform.storageControllers = std::make_shared<SetupApiStorageControllers>();
  platform.cabinets = std::make_shared<Win32Cabinets>();
  platform.shell = std::make_shared<Win32Shell>();
  platform.processes = std::make_shared<Win32Processes>(options.programFolder);
  platform.windows = std::make_shared<Win32TopLevelWindows>();
  platform.environment = std::make_shared<Win32Environment>(options.programFolder);
  platform.token = std::make_shared<Win32Token>();
  platform.registry = std::make_shared<Win32Registry>();
  platform.hiveReader = std::make_shared<Win32HiveReader>(platform.registry);
  return platform;
}

std::string StartWindowProgram(char**) {
  return "the window is part of this program";
}

}  // namespace ravlin

// A second process for the registry tests: mounts must be seen by, and guarded against,
// other processes that use the same registry store.
//
//   registry_probe load NAME WINDOWS-PATH   mount a hive below HKLM, print the status
//   registry_probe unload NAME              unmount it, print the status
//   registry_probe enum PATH                print the subkeys of HKLM\PATH, then the status
//
// The store and the drives come from RAVLIN_REGISTRY and RAVLIN_DRIVES.
#include <iostream>
#include <memory>
#include <string>

#include "platform/backend.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/posix_token.hpp"

int main(int argc, char** argv) {
  using namespace ravlin;
  if (argc < 3) {
    std::cerr << "usage: registry_probe load|unload|enum ARGS\n";
    return 2;
  }
  const auto options = PlatformOptions::FromEnvironment();
  auto privileges = std::make_shared<PrivilegeState>();
  PosixToken token(privileges);
  Handle tokenHandle = 0;
  Luid restore, backup;
  token.OpenProcessToken(token.GetCurrentProcess(), kTokenAdjustPrivileges | kTokenQuery,
                         tokenHandle);
  token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore);
  token.LookupPrivilegeValueA("", "SeBackupPrivilege", backup);
  TokenPrivileges enable{2, {{{restore, kSePrivilegeEnabled}, {backup, kSePrivilegeEnabled}}}};
  token.AdjustTokenPrivileges(tokenHandle, false, enable, kTokenPrivilegesSize);
  PosixRegistry registry(options.registryStore, std::make_shared<DriveTable>(options.drives),
                         privileges);

  const std::string command = argv[1];
  if (command == "load" && argc == 4) {
    std::cout << registry.RegLoadKeyA(kHkeyLocalMachine, argv[2], argv[3]) << '\n';
  } else if (command == "unload") {
    std::cout << registry.RegUnLoadKeyA(kHkeyLocalMachine, argv[2]) << '\n';
  } else if (command == "enum") {
    RegKey key = 0;
    auto status = registry.RegOpenKeyExA(kHkeyLocalMachine, argv[2], 0, kKeyEnumerateSubKeys, key);
    if (status == kErrorSuccess) {
      std::string name;
      for (std::uint32_t index = 0; registry.RegEnumKeyA(key, index, name, 2048) == kErrorSuccess;
           ++index)
        std::cout << name << '\n';
      status = registry.RegCloseKey(key);
    }
    std::cout << status << '\n';
  } else {
    std::cerr << "registry_probe: unknown command\n";
    return 2;
  }
  return 0;
}

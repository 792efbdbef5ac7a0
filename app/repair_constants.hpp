#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ravlin {

// What the repair works with, named once for the repair itself, the dry run that describes
// it, the driver sources and the undo, so that none of them can drift from the others.

// Below the guest Windows directory.
inline constexpr std::string_view kHiveFragment = "\\system32\\config\\system";
inline constexpr std::string_view kDriverFolderFragment = "\\system32\\drivers";
// Below HKEY_LOCAL_MACHINE while a repair runs.
inline constexpr std::string_view kMountName = "Ravlin_System";
// The folder beside the program, written to follow the program folder's path.
inline constexpr std::string_view kRequiredFilesFragment = "\\Ravlin_Required_Files\\";

// Control sets 1 to 9 are probed; file N belongs to control set N.
inline constexpr std::int16_t kControlSetCount = 9;
// The IDE drivers, in the order in which they are installed.
inline constexpr std::array<std::string_view, 4> kIdeDriverFiles = {"atapi.sys", "intelide.sys",
                                                                    "pciide.sys", "pciidex.sys"};

// "ControlSet00N".
std::string ControlSetName(std::int16_t N);
// "Ravlin_System\ControlSet00N": the mounted guest's control set N below HKLM.
std::string MountedControlSetKey(std::int16_t N);
// "tarvel00N.reg", the registry file of control set N.
std::string RegistryFileName(std::int16_t N);
// A file of the required-files folder: the program folder and the fragments joined as they
// are, so a program folder at a drive root gives a doubled backslash.
std::string RequiredFilePath(const std::string& programFolder, std::string_view fileName);

}  // namespace ravlin

#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.hpp"

namespace ravlin {

// What the backend of this build (Linux or Windows, fixed when it is built) needs to know
// beyond the machine itself.
struct PlatformOptions {
  // Linux: drive letters in the form "C=/mnt/xp;D=/media/cdrom", added to the default "Z=/".
  // Windows has real drive letters and ignores it.
  std::string drives;
  // Linux: the registry store folder (hive files of the predefined roots and the mount
  // table). Windows has its own registry and ignores it.
  std::filesystem::path registryStore;
  // The folder of the running executable.
  std::filesystem::path programFolder;
  // Linux: where sysfs is (RAVLIN_SYSFS, for a copy of another machine's); empty, as options
  // made by hand start, looks at no storage controller. Windows ignores it.
  std::filesystem::path sysfsRoot;

  // The machine's settings: on Linux RAVLIN_DRIVES, RAVLIN_REGISTRY and RAVLIN_SYSFS, on both the
  // folder of the running executable.
  static PlatformOptions FromEnvironment();
};

// Every platform service of this build's backend; `ui` is the active front end's.
Platform MakePlatform(std::shared_ptr<Ui> ui,
                      const PlatformOptions& options = PlatformOptions::FromEnvironment());

// Whether a person can answer at the terminal: standard input is one.
bool StandardInputIsTerminal();

// The program's arguments, its own name first, as UTF-8 texts. Windows hands a program its
// command line in wide characters, so that folder names in any language arrive intact;
// POSIX's argv is taken as it is.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Replaces this process by the window program beside it (on Linux ravlin-gui, which holds
// the Qt window) with the same arguments. Returns only when there is none or it cannot start:
// the reason. Windows builds have their window in the program itself.
std::string StartWindowProgram(char** argv);

// Windows: ravlin.exe is a window program (ravlin.com, the same for the console subsystem,
// has its console already); started from a command prompt, it reads and writes that prompt's
// console (standard streams redirected to files or pipes stay so), in
// Unicode, so that it can be scripted there; it also takes the current folder out of the DLL
// search. POSIX: the terminal is already there.
void AttachToStartingConsole();

}  // namespace ravlin

// ravlin-static: the console program and the registry-file importer in one file that needs no
// library of the system it runs on. Started under its own name it makes a private program
// folder (the required files it carries, a copy of itself as "ravlin" and "regedit" beside
// it), runs the copy there and removes the folder when the copy ends; the copy finds the
// importer and the registry files beside itself, as the installed program does. Started as
// "regedit" it is the importer.
#include <cctype>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/posix/processes/launcher.hpp"
#include "tools/static/private_folder.hpp"

// The entry points of app/main.cpp and tools/regedit/main.cpp, compiled into this program
// under these names.
int RavlinConsoleMain(int argc, char** argv);
int RegeditMain(int argc, char** argv);

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFolderVariable = "RAVLIN_STATIC_FOLDER";
constexpr int kExitFailure = 1;

bool IsImporterName(std::string_view argument0) {
  const std::size_t slash = argument0.find_last_of("/\\");
  std::string name(slash == std::string_view::npos ? argument0 : argument0.substr(slash + 1));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "regedit" || name == "regedit.exe";
}

fs::path OwnExecutable() {
  return fs::read_symlink("/proc/self/exe");
}

// True in the copy that the launcher started in the folder it made.
bool RunsInPrivateFolder() {
  const char* folder = std::getenv(std::string(kFolderVariable).c_str());
  std::error_code error;
  const auto executable = fs::read_symlink("/proc/self/exe", error);
  return folder != nullptr && !error && executable.parent_path() == fs::path(folder);
}

// Runs `program` with the caller's arguments, its folder named in the environment, and waits
// for it; SIGTERM and SIGHUP sent to the launcher alone reach the program too, so that the
// folder is still removed.
int RunAndWait(const fs::path& program, int argc, char** argv) {
  std::vector<std::string> arguments{"ravlin"};
  arguments.insert(arguments.end(), argv + 1, argv + argc);
  try {
    return ravlin::RunInFront(program, arguments,
                              {{std::string(kFolderVariable), program.parent_path().string()}});
  } catch (const std::system_error& failure) {
    std::cerr << "ravlin-static: cannot start " << program.string() << ": "
              << failure.code().message()
              << (failure.code() == std::errc::permission_denied
                      ? " (set TMPDIR to a folder that allows running programs)"
                      : "")
              << '\n';
    return kExitFailure;
  }
}

int Launch(int argc, char** argv) {
  try {
    const fs::path executable = OwnExecutable();
    const ravlin::PrivateProgramFolder folder(executable, executable.parent_path());
    return RunAndWait(folder.program(), argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "ravlin-static: " << error.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 0 && IsImporterName(argv[0])) return RegeditMain(argc, argv);
  if (RunsInPrivateFolder()) return RavlinConsoleMain(argc, argv);
  return Launch(argc, argv);
}

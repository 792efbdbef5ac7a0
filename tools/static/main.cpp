// ravlin-static: the console program and the registry-file importer in one file that needs no
// library of the system it runs on. Started under its own name it makes a private program
// folder (the required files it carries, a copy of itself as "ravlin" and "regedit" beside
// it), runs the copy there and removes the folder when the copy ends; the copy finds the
// importer and the registry files beside itself, as the installed program does. Started as
// "regedit" it is the importer.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

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

// Runs `program` with the caller's arguments and waits for it. The terminal sends Ctrl-C to
// both processes, so the launcher leaves SIGINT and SIGQUIT to the child; SIGTERM and SIGHUP
// sent to the launcher alone are passed on, so that the folder is still removed.
int RunAndWait(const fs::path& program, int argc, char** argv) {
  std::vector<std::string> storage{"ravlin"};
  storage.insert(storage.end(), argv + 1, argv + argc);
  std::vector<char*> arguments;
  for (auto& argument : storage) arguments.push_back(argument.data());
  arguments.push_back(nullptr);

  sigset_t handled;
  sigemptyset(&handled);
  for (const int signal : {SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP}) sigaddset(&handled, signal);
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &handled, &previous);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setsigmask(&attributes, &previous);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int failure =
      ::posix_spawn(&child, program.c_str(), nullptr, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (failure != 0) {
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    std::cerr << "ravlin-static: cannot start " << program.string() << ": "
              << std::generic_category().message(failure)
              << (failure == EACCES ? " (set TMPDIR to a folder that allows running programs)" : "")
              << '\n';
    return kExitFailure;
  }

  int status = 0;
  for (;;) {
    siginfo_t info{};
    if (sigwaitinfo(&handled, &info) == -1) continue;
    if (info.si_signo == SIGTERM || info.si_signo == SIGHUP) ::kill(child, info.si_signo);
    if (info.si_signo == SIGCHLD && ::waitpid(child, &status, WNOHANG) == child) break;
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

int Launch(int argc, char** argv) {
  try {
    const fs::path executable = OwnExecutable();
    const ravlin::PrivateProgramFolder folder(executable, executable.parent_path());
    ::setenv(std::string(kFolderVariable).c_str(), folder.path().c_str(), 1);
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

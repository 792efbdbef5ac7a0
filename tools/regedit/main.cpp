// regedit: imports registry files the way "regedit.exe /s FILE" does on Windows, through
// Ravlin's registry layer, so that a hive mounted under HKEY_LOCAL_MACHINE is reached.
// Every file is read and checked before anything changes; a fault ends the program with a
// one-line reason on standard error and a non-zero exit code.
#include <cctype>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/backend.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/registry_import.hpp"
#include "tools/regedit/reg_file.hpp"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct CommandLine {
  std::vector<std::string> files;
  std::string fault;
};

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine commandLine;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"')
      argument = argument.substr(1, argument.size() - 2);
    if (argument == "/s" || argument == "/S" || argument == "-s" || argument == "-S") continue;
    if (argument.size() == 2 && (argument[0] == '/' || argument[0] == '-')) {
      commandLine.fault = "unknown switch " + argument + "; usage: regedit [/s] FILE.reg";
      return commandLine;
    }
    commandLine.files.push_back(argument);
  }
  if (commandLine.files.empty()) commandLine.fault = "usage: regedit [/s] FILE.reg";
  return commandLine;
}

// The caller may name the file by a drive-letter path ("Z:\dir\file.reg", in the ANSI code
// page, as Windows programs pass it) or by the machine's own path.
std::filesystem::path NativePath(const std::string& argument, const ravlin::DriveTable& drives) {
  const bool windowsPath = argument.find('\\') != std::string::npos ||
                           (argument.size() >= 2 && argument[1] == ':' &&
                            std::isalpha(static_cast<unsigned char>(argument[0])));
  if (windowsPath) {
    if (auto native = drives.ResolveNative(argument)) return *native;
  }
  return argument;
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + file.string());
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const auto commandLine = ParseCommandLine(argc, argv);
  if (!commandLine.fault.empty()) {
    std::cerr << "regedit: " << commandLine.fault << '\n';
    return kExitUsage;
  }
  const bool several = commandLine.files.size() > 1;
  const auto options = ravlin::PlatformOptions::FromEnvironment();
  const ravlin::DriveTable drives(options.drives);

  std::vector<std::vector<ravlin::RegOperation>> imports;
  for (const auto& file : commandLine.files) {
    const auto path = NativePath(file, drives);
    try {
      imports.push_back(ravlin::ParseRegFile(ReadWholeFile(path)));
    } catch (const std::exception& error) {
      std::cerr << "regedit: " << error.what() << (several ? " in " + path.string() : "") << '\n';
      return kExitFailure;
    }
  }

  // Looked for by a repair that must close editors of its store before it mounts a hive.
  const ravlin::EditorPresence presence(options.registryStore);
  try {
    // Importing mounts nothing, so no hive privilege is needed.
    ravlin::PosixRegistry registry(options.registryStore,
                                   std::make_shared<const ravlin::DriveTable>(options.drives),
                                   std::make_shared<const ravlin::PrivilegeState>());
    for (std::size_t i = 0; i < imports.size(); ++i) {
      const std::string where = several ? " in " + commandLine.files[i] : "";
      try {
        // A repair that holds the hive in memory makes the changes there.
        if (const auto reply = ravlin::ImportThroughHolder(options.registryStore, imports[i])) {
          if (reply->status == 0) continue;
          std::cerr << "regedit: " << reply->reason << where << '\n';
          return kExitFailure;
        }
        ravlin::ImportRegOperations(registry, imports[i]);
      } catch (const std::exception& error) {
        std::cerr << "regedit: " << error.what() << where << '\n';
        return kExitFailure;
      }
    }
  } catch (const std::exception& error) {
    std::cerr << "regedit: " << error.what() << '\n';
    return kExitFailure;
  }
  return 0;
}

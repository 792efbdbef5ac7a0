#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/driver_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

// Every entry below the folder with its content (files) and modification time.
inline std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> Snapshot(
    const std::filesystem::path& root) {
  std::map<std::string, std::pair<std::string, std::filesystem::file_time_type>> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    entries[entry.path().string()] = {entry.is_regular_file() ? ReadFile(entry.path()) : "",
                                      entry.last_write_time()};
  return entries;
}

// A technician's run of the console front end on real files: the build's programs copied
// into a program folder of their own (whose required-files folder holds no driver), a sample
// XP guest below drive C: that lacks the four IDE drivers, and the guest's own driver
// cabinets made with gcab.
class ConsoleGuest : public ::testing::Test {
 protected:
  ConsoleGuest() {
    std::filesystem::copy(RAVLIN_BIN_DIR, program_, std::filesystem::copy_options::recursive);
    for (const auto& driver : kIdeDrivers)
      std::filesystem::remove(program_ / "Ravlin_Required_Files" / driver);
    ProgramRun sample;
    sample.arguments = {(program_ / "ravlin-sample").string(), drive_.string()};
    for (const auto& driver : kIdeDrivers) {
      sample.arguments.push_back("--without");
      sample.arguments.push_back(driver);
    }
    const ProgramResult made = RunProgram(sample);
    EXPECT_EQ(made.exitCode, 0) << made.err;
  }

  // The guest's Driver Cache\i386 cabinets, each driver tagged with its cabinet's name.
  void AddDriverCabinets(const std::vector<std::string>& names) {
    for (const auto& name : names) {
      std::map<std::string, std::string> files;
      for (const auto& driver : kIdeDrivers) files[driver] = DriverImage(name + " " + driver);
      MakeCabinet(windows_ / "Driver Cache" / "i386" / name, files);
    }
  }

  ProgramResult Ravlin(std::vector<std::string> arguments, const std::string& input = "") {
    ProgramRun run;
    run.arguments = {(program_ / "ravlin").string(), "--console"};
    run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
    run.environment = {{"RAVLIN_DRIVES", "C=" + drive_.string()},
                       {"RAVLIN_REGISTRY", (temp_ / "registry").string()},
                       {"windir", std::nullopt},
                       {"DISPLAY", std::nullopt},
                       {"WAYLAND_DISPLAY", std::nullopt}};
    run.environment.insert(environment_.begin(), environment_.end());
    run.input = input;
    run.workingDirectory = temp_.path();
    return RunProgram(run);
  }
  ProgramResult Repair(std::vector<std::string> extra = {}) {
    extra.insert(extra.begin(), {"--guest", windows_.string(), "--yes"});
    return Ravlin(extra);
  }

  std::filesystem::path Driver(const std::string& name) const {
    return windows_ / "system32" / "drivers" / name;
  }

  TempDir temp_;
  // More variables for the program, beside those that make the run hermetic.
  Variables environment_;
  std::filesystem::path program_ = temp_ / "Ravlin program";
  std::filesystem::path drive_ = temp_ / "xp";
  std::filesystem::path windows_ = drive_ / "WINDOWS";
  std::filesystem::path hive_ = windows_ / "system32" / "config" / "system";
};

}  // namespace ravlin::testing

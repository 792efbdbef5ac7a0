// How long a whole repair takes as the user runs it, `ravlin --console --guest DIR --yes` (one
// process from start to end, with its registry store and drive table of its own), on fresh
// guests that lack three of the four IDE drivers, against the floor of any repair: copy the
// hive once, copy the three drivers, flush them. Repairs and floors alternate, so that both
// meet the same machine. Guests: the XP-like sample of ravlin-sample, one built around the
// Windows 7 SYSTEM hive of the test data (two control sets) and one around a 51 MB synthetic
// SYSTEM hive. Goals: the repair takes at most three times the floor; its peak memory is at
// most the hive and 20 MB.
//
//   repair_bench [SOURCE_DIR] [RUNS]
//
// SOURCE_DIR defaults to the source tree this build came from (read from CMakeCache.txt).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/bench_support.hpp"
#include "bench/support/large_hive.hpp"

namespace {

using namespace ravlin::bench;

// The guest has intelide.sys; the repair copies the other three from the program folder.
const std::vector<std::string> kMissingDrivers = {"atapi.sys", "pciide.sys", "pciidex.sys"};
constexpr const char* kPresentDriver = "intelide.sys";

// Bytes standing in for a driver, as large as Windows XP SP2's own file.
std::string StandInDriver(const std::string& name) {
  const std::size_t size = name == "atapi.sys"      ? 95'360
                           : name == "pciidex.sys"  ? 24'960
                           : name == "intelide.sys" ? 5'504
                                                    : 3'456;
  std::mt19937 random(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// The program folder a user has: ravlin and its registry editor, the registry files and the
// driver files.
fs::path MakeProgramFolder(const fs::path& binFolder, const fs::path& folder) {
  fs::create_directories(folder);
  for (const char* program : {"ravlin", "regedit"}) {
    if (!fs::exists(binFolder / program))
      throw std::runtime_error("build " + std::string(program) + " first");
    fs::copy_file(binFolder / program, folder / program);
  }
  fs::copy(binFolder / "Ravlin_Required_Files", folder / "Ravlin_Required_Files",
           fs::copy_options::recursive);
  for (const auto& driver : kMissingDrivers)
    WriteAll(folder / "Ravlin_Required_Files" / driver, StandInDriver(driver));
  return folder;
}

fs::path HiveOf(const fs::path& guest) {
  return guest / "WINDOWS" / "system32" / "config" / "system";
}

// A guest around a hive: its SYSTEM hive and a drivers folder with intelide.sys only.
void MakeGuestAround(const fs::path& hive, const fs::path& guest) {
  fs::create_directories(HiveOf(guest).parent_path());
  fs::copy_file(hive, HiveOf(guest));
  const auto drivers = guest / "WINDOWS" / "system32" / "drivers";
  fs::create_directories(drivers);
  WriteAll(drivers / kPresentDriver, StandInDriver(kPresentDriver));
}

struct Figures {
  double repair = 0;
  double floor = 0;
  long peakKilobytes = 0;
};

// Repairs copies of `pristine` (a guest folder holding WINDOWS) and measures the floor beside
// each repair.
Figures Measure(const fs::path& pristine, const fs::path& program, const fs::path& work, int runs) {
  std::vector<double> repairs, floors;
  Figures figures;
  for (int run = 0; run < runs; ++run) {
    const auto folder = work / ("run" + std::to_string(run));
    const auto drive = folder / "c";
    fs::create_directories(drive);
    fs::copy(pristine, drive, fs::copy_options::recursive);
    SetVariable("RAVLIN_REGISTRY", (folder / "registry").string());
    SetVariable("RAVLIN_DRIVES", "C=" + drive.string());

    RunOptions toFile;
    toFile.output = folder / "repair.txt";
    // --force: the Windows 7 hive is a later Windows, which --yes does not repair.
    const auto repair = RunMeasured({(program / "ravlin").string(), "--console", "--guest",
                                     (drive / "WINDOWS").string(), "--force"},
                                    folder, toFile);
    const std::string shown = ReadAll(toFile.output);
    if (shown.find("Operation completed successfully!") == std::string::npos)
      throw std::runtime_error("the repair did not succeed:\n" + shown);
    repairs.push_back(repair.seconds);
    figures.peakKilobytes = std::max(figures.peakKilobytes, repair.peakKilobytes);

    const auto floor = folder / "floor";
    fs::create_directories(floor);
    std::vector<std::pair<fs::path, fs::path>> copies{{HiveOf(pristine), floor / "system"}};
    for (const auto& driver : kMissingDrivers)
      copies.emplace_back(program / "Ravlin_Required_Files" / driver, floor / driver);
    floors.push_back(CopyAndSync(copies));
    fs::remove_all(folder);
  }
  figures.repair = Median(repairs);
  figures.floor = Median(floors);
  return figures;
}

void Report(const std::string& title, const fs::path& pristine, const Figures& f, int runs) {
  const auto hiveBytes = fs::file_size(HiveOf(pristine));
  std::printf("%s: hive %.2f MB, median of %d runs\n", title.c_str(),
              static_cast<double>(hiveBytes) / (1024 * 1024), runs);
  std::printf("  ravlin --console --guest DIR --force      %8.1f ms\n", f.repair * 1000);
  std::printf("  floor: copy hive + 3 drivers, sync        %8.1f ms\n", f.floor * 1000);
  std::printf("  repair / floor     %5.2f  (goal <= 3)      %s\n", f.repair / f.floor,
              Verdict(f.repair <= 3 * f.floor));
  ReportPeakMemory(f.peakKilobytes, hiveBytes);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto [binFolder, source, runs] = ReadArguments(argc, argv, 7);
    // The console front end, answering everything itself, with nothing of this machine's own.
    for (const char* variable : {"windir", "DISPLAY", "WAYLAND_DISPLAY"})
      SetVariable(variable, std::nullopt);

    TempFolder temp;
    const auto program = MakeProgramFolder(binFolder, temp.path() / "program");

    const auto xp = temp.path() / "xp";
    std::vector<std::string> sample{(binFolder / "ravlin-sample").string(), xp.string()};
    for (const auto& driver : kMissingDrivers) sample.insert(sample.end(), {"--without", driver});
    Run(sample);
    Report("XP-like sample guest", xp, Measure(xp, program, temp.path() / "xp-runs", runs), runs);

    const auto win7Hive = temp.path() / "win7-system.hive";
    DecompressTestHive(source, "win7-system", win7Hive);
    const auto win7 = temp.path() / "win7";
    MakeGuestAround(win7Hive, win7);
    Report("Windows 7 guest", win7, Measure(win7, program, temp.path() / "win7-runs", runs), runs);

    const auto largeHive = temp.path() / "large.hive";
    BuildLargeSystemHive(largeHive);
    const auto large = temp.path() / "large";
    MakeGuestAround(largeHive, large);
    fs::remove(largeHive);
    Report("51 MB synthetic guest", large,
           Measure(large, program, temp.path() / "large-runs", runs), runs);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "repair_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}

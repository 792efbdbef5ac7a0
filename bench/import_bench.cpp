// How fast the registry-file importer writes tarvel001.reg into a large SYSTEM hive, against
// the floor (a plain copy of the hive file) and two other importers, all at equal durability:
// each peer's run is followed by `sync FILE`, as ours flushes the new hive before its rename.
// Goals: at most twice the floor, at least three times as fast as hivexregedit, and faster
// than chntpw's reged on the Windows 7 hive.
//
//   import_bench [SOURCE_DIR] [RUNS]
//
// SOURCE_DIR defaults to the source tree this build came from (read from CMakeCache.txt).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/bench_support.hpp"
#include "platform/backend.hpp"
#include "platform/codepage.hpp"
#include "platform/posix/testing/hive_writer.hpp"

namespace {

using namespace ravlin::bench;
using ravlin::testing::BinaryValue;
using ravlin::testing::DwordValue;
using ravlin::testing::SzValue;
using ravlin::testing::TestKey;
using ravlin::testing::TestValue;

constexpr const char* kMountName = "Ravlin_System";
constexpr const char* kPrefix = "HKEY_LOCAL_MACHINE\\Ravlin_System";

// A large hive like a big SYSTEM hive: two control sets with a critical device database,
// services with their usual subkeys, and a device enumeration tree. libhivex never reuses
// space: every new subkey rewrites its parent's index, so a parent with n subkeys leaves about
// 4 n^2 bytes behind. Moderate fan-outs keep the file at the size of a real hive with this
// many keys.
class LargeHive {
 public:
  std::vector<TestKey> Keys() {
    Add("Select", {DwordValue("Current", 1), DwordValue("Default", 1),
                   DwordValue("LastKnownGood", 2), DwordValue("Failed", 0)});
    for (const std::string set : {"ControlSet001", "ControlSet002"}) {
      for (int i = 0; i < 500; ++i) {
        Add(set + "\\Control\\CriticalDeviceDatabase\\" +
                Name("pci#ven_%04x&dev_%04x", 0x1000 + i % 97, i),
            {SzValue("ClassGUID", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"),
             SzValue("Service", Name("svc%04d", i % 500))});
      }
      for (int i = 0; i < 500; ++i) AddService(set + "\\Services\\" + Name("svc%04d", i), i);
      for (int bus = 0; bus < 20; ++bus) {
        for (int i = 0; i < 215; ++i)
          AddDevice(set + "\\Enum\\" + Name("BUS%02d", bus), bus * 215 + i);
      }
    }
    return std::move(keys_);
  }

 private:
  static std::string Name(const char* format, int a, int b = 0) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
  }
  static TestValue Binary(const std::string& name, std::size_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    return BinaryValue(name, std::move(data));
  }

  void Add(std::string path, std::vector<TestValue> values = {}) {
    keys_.push_back({std::move(path), std::move(values)});
  }
  void AddService(const std::string& service, int i) {
    Add(service, {DwordValue("Type", 1), DwordValue("Start", 3), DwordValue("ErrorControl", 1),
                  SzValue("ImagePath", Name("system32\\DRIVERS\\svc%04d.sys", i),
                          ravlin::testing::kHiveExpandSz),
                  SzValue("DisplayName", Name("Stand-in service driver number %d", i)),
                  SzValue("Group", "Extended Base"),
                  SzValue("Description",
                          "A service of the benchmark hive, with a description as long as "
                          "the ones Windows ships for its own drivers and services.")});
    Add(service + "\\Parameters",
        {DwordValue("BusType", 5), DwordValue("MaximumTransfer", 65536), SzValue("Mode", "auto")});
    Add(service + "\\Enum", {SzValue("0", Name("PCI\\VEN_8086&DEV_%04X", i)),
                             DwordValue("Count", 1), DwordValue("NextInstance", 1)});
    Add(service + "\\Security", {Binary("Security", 160)});
    Add(service + "\\Linkage");
    Add(service + "\\Performance", {SzValue("Library", "perfsvc.dll"), DwordValue("Counters", 4)});
  }
  void AddDevice(const std::string& bus, int i) {
    const auto instance = bus + "\\" + Name("VEN_%04X&DEV_%04X", 0x8086, i) + "\\3&2411e6fe&0&00";
    Add(instance, {SzValue("DeviceDesc", Name("Stand-in device number %d", i)),
                   SzValue("Service", Name("svc%04d", i % 500)), DwordValue("ConfigFlags", 0)});
    Add(instance + "\\Device Parameters");
    Add(instance + "\\LogConf", {Binary("BasicConfigVector", 120)});
    Add(instance + "\\Control");
  }

  std::vector<TestKey> keys_;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A registry store and a drive C: in a folder, with the hive privileges enabled, so that a
// guest hive can be mounted as the repair mounts it.
class Registry {
 public:
  explicit Registry(const fs::path& folder) : drive_(folder / "c") {
    fs::create_directories(drive_);
    SetVariable("RAVLIN_REGISTRY", (folder / "store").string());
    SetVariable("RAVLIN_DRIVES", "C=" + drive_.string());
    platform_ = ravlin::MakePlatform(std::make_shared<QuietUi>());
    auto& token = *platform_.token;
    ravlin::Handle handle = 0;
    ravlin::Luid restore, backup;
    if (!token.OpenProcessToken(token.GetCurrentProcess(), 0x28, handle) ||
        !token.LookupPrivilegeValueA("", "SeRestorePrivilege", restore) ||
        !token.LookupPrivilegeValueA("", "SeBackupPrivilege", backup) ||
        !token.AdjustTokenPrivileges(
            handle, false,
            {2, {{{restore, ravlin::kSePrivilegeEnabled}, {backup, ravlin::kSePrivilegeEnabled}}}},
            ravlin::kTokenPrivilegesSize))
      throw std::runtime_error("cannot enable the hive privileges");
  }

  // A fresh guest folder holding a copy of `hive`, mounted at HKLM\Ravlin_System; returns
  // the seconds the mount took (the copy into the guest is the bench's, not ours).
  double MountCopy(const fs::path& hive) {
    const auto config = drive_ / "WINDOWS" / "system32" / "config";
    fs::remove_all(drive_ / "WINDOWS");
    fs::create_directories(config);
    fs::copy_file(hive, config / "system");
    const auto start = std::chrono::steady_clock::now();
    const auto status = platform_.registry->RegLoadKeyA(ravlin::kHkeyLocalMachine, kMountName,
                                                        "C:\\WINDOWS\\system32\\config\\system");
    if (status != 0) throw std::runtime_error("RegLoadKeyA: " + std::to_string(status));
    return SecondsSince(start);
  }
  // The unmount writes the result back into the guest durably: part of what an import costs.
  double Unmount() {
    const auto start = std::chrono::steady_clock::now();
    const auto status = platform_.registry->RegUnLoadKeyA(ravlin::kHkeyLocalMachine, kMountName);
    if (status != 0) throw std::runtime_error("RegUnLoadKeyA: " + std::to_string(status));
    return SecondsSince(start);
  }

 private:
  fs::path drive_;
  ravlin::Platform platform_;
};

struct Figures {
  double ours = 0, hivex = 0, copy = 0, reged = 0;
  long oursPeakKilobytes = 0;
  int regedExitCode = 0;  // chntpw's reged gives up on some hives
};

Figures Measure(const fs::path& hive, const fs::path& work, const fs::path& regFile,
                const fs::path& regedit, int runs) {
  // hivexregedit and reged read bytes, not UTF-16: they get the same file as UTF-8.
  const auto raw = ReadAll(regFile);
  std::u16string text;
  for (std::size_t i = 2; i + 1 < raw.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(raw[i]) |
                                  static_cast<unsigned char>(raw[i + 1]) << 8);
  const auto utf8File = work / "tarvel001-utf8.reg";
  WriteAll(utf8File, ravlin::Utf16ToUtf8(text));

  Registry registry(work);
  std::vector<double> ours, hivex, copy, reged;
  Figures figures;
  for (int run = 0; run < runs; ++run) {
    const double mount = registry.MountCopy(hive);
    const auto timing = RunMeasured({regedit.string(), "/s", regFile.string()}, work);
    ours.push_back(mount + timing.seconds + registry.Unmount());
    figures.oursPeakKilobytes = std::max(figures.oursPeakKilobytes, timing.peakKilobytes);

    const auto hivexCopy = work / "hivex.hive";
    fs::copy_file(hive, hivexCopy, fs::copy_options::overwrite_existing);
    auto merged = Run(
        {"hivexregedit", "--merge", "--prefix", kPrefix, hivexCopy.string(), utf8File.string()});
    merged.seconds += Run({"sync", hivexCopy.string()}).seconds;
    hivex.push_back(merged.seconds);

    const auto plainCopy = work / "copy.hive";
    fs::remove(plainCopy);
    copy.push_back(CopyAndSync({{hive, plainCopy}}));

    const auto regedCopy = work / "reged.hive";
    fs::copy_file(hive, regedCopy, fs::copy_options::overwrite_existing);
    RunOptions quietFailure;
    quietFailure.mayFail = true;
    quietFailure.quiet = true;
    auto imported =
        Run({"reged", "-I", "-C", regedCopy.string(), kPrefix, utf8File.string()}, quietFailure);
    figures.regedExitCode = imported.exitCode;
    imported.seconds += Run({"sync", regedCopy.string()}).seconds;
    reged.push_back(imported.seconds);
  }
  figures.ours = Median(ours);
  figures.hivex = Median(hivex);
  figures.copy = Median(copy);
  figures.reged = Median(reged);
  return figures;
}

// `regedGoal`: whether beating reged is a goal on this hive.
void Report(const std::string& title, const fs::path& hive, const Figures& f, int runs,
            bool regedGoal) {
  const double hiveMb = static_cast<double>(fs::file_size(hive)) / (1024 * 1024);
  std::printf("%s: %.1f MB, median of %d runs\n", title.c_str(), hiveMb, runs);
  std::printf("  ours (mount, regedit /s, unmount)   %8.1f ms   peak memory %.1f MB\n",
              f.ours * 1000, static_cast<double>(f.oursPeakKilobytes) / 1024);
  std::printf("  copy of the hive + sync             %8.1f ms\n", f.copy * 1000);
  std::printf("  hivexregedit --merge + sync         %8.1f ms\n", f.hivex * 1000);
  std::printf("  reged -I -C + sync                  %8.1f ms%s\n", f.reged * 1000,
              f.regedExitCode == 0 ? "" : "   (reged FAILED: exit code not 0)");
  std::printf("  ours / copy        %5.2f  (goal <= 2)      %s\n", f.ours / f.copy,
              Verdict(f.ours <= 2 * f.copy));
  if (regedGoal)
    std::printf("  reged / ours       %5.2f  (goal > 1)       %s\n", f.reged / f.ours,
                Verdict(f.reged > f.ours));
  else
    std::printf("  reged / ours       %5.2f  (no goal on this hive)\n", f.reged / f.ours);
  std::printf("  hivex / ours       %5.2f  (goal >= 3)      %s\n", f.hivex / f.ours,
              Verdict(f.hivex >= 3 * f.ours));
  ReportPeakMemory(f.oursPeakKilobytes, fs::file_size(hive));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto [binFolder, source, runs] = ReadArguments(argc, argv, 5);
    const auto regedit = binFolder / "regedit";
    const auto regFile = source / "data" / "Ravlin_Required_Files" / "tarvel001.reg";
    if (!fs::exists(regedit)) throw std::runtime_error("build regedit first: " + regedit.string());

    TempFolder temp;
    const auto large = temp.path() / "large.hive";
    std::printf("building the large hive with hivex...\n");
    std::fflush(stdout);
    // Built in a child process, so that the hive held in memory does not count in this
    // process's peak memory, which spawned children inherit in their wait4 figures.
    const int built = RunInChildProcess([&large] {
      try {
        std::printf("synthetic hive: %zu keys\n",
                    ravlin::testing::MakeTestHive(large, LargeHive().Keys(), "SYSTEM"));
        std::fflush(stdout);
        return 0;
      } catch (const std::exception& error) {
        std::fprintf(stderr, "import_bench: %s\n", error.what());
        return 1;
      }
    });
    if (built != 0) throw std::runtime_error("cannot build the large hive");
    const auto largeWork = temp.path() / "large";
    fs::create_directories(largeWork);
    Report("synthetic SYSTEM hive", large, Measure(large, largeWork, regFile, regedit, runs), runs,
           false);

    const auto win7 = temp.path() / "win7-system.hive";
    DecompressTestHive(source, "win7-system", win7);
    const auto win7Work = temp.path() / "win7";
    fs::create_directories(win7Work);
    Report("Windows 7 SYSTEM hive", win7, Measure(win7, win7Work, regFile, regedit, runs), runs,
           true);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "import_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}

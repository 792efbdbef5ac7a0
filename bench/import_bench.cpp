// How fast the registry-file importer writes tarvel001.reg into a large SYSTEM hive, against
// the floor (a plain copy of the hive file) and two other importers, all at equal durability:
// each peer's run is followed by `sync FILE`, as ours flushes the new hive before its rename.
// Goals: at most twice the floor, at least three times as fast as hivexregedit, and faster
// than chntpw's reged on the Windows 7 hive.
//
//   import_bench [SOURCE_DIR] [RUNS]
//
// SOURCE_DIR defaults to the source tree this build came from (read from CMakeCache.txt).
#include <hivex.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "platform/posix/registry/hive_generator.hpp"

namespace {

using namespace ravlin::bench;

constexpr const char* kMountName = "Ravlin_System";
constexpr const char* kPrefix = "HKEY_LOCAL_MACHINE\\Ravlin_System";

// A large hive like a big SYSTEM hive: two control sets with a critical device database,
// services with their usual subkeys, and a device enumeration tree.
class HiveBuilder {
 public:
  explicit HiveBuilder(const fs::path& file) {
    ravlin::WriteEmptyHive(file, "SYSTEM");
    hive_ = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
    if (hive_ == nullptr) throw std::runtime_error("hivex cannot open " + file.string());
  }
  HiveBuilder(const HiveBuilder&) = delete;
  HiveBuilder& operator=(const HiveBuilder&) = delete;
  ~HiveBuilder() { hivex_close(hive_); }

  // libhivex never reuses space: every new subkey rewrites its parent's index, so a parent
  // with n subkeys leaves about 4 n^2 bytes behind. Moderate fan-outs keep the file at the
  // size of a real hive with this many keys.
  int Build() {
    const auto root = hivex_root(hive_);
    Values(Key(root, "Select"), {Dword("Current", 1), Dword("Default", 1),
                                 Dword("LastKnownGood", 2), Dword("Failed", 0)});
    for (const char* set : {"ControlSet001", "ControlSet002"}) {
      const auto controlSet = Key(root, set);
      const auto control = Key(controlSet, "Control");
      const auto database = Key(control, "CriticalDeviceDatabase");
      for (int i = 0; i < 500; ++i) {
        Values(Key(database, Name("pci#ven_%04x&dev_%04x", 0x1000 + i % 97, i)),
               {Sz("ClassGUID", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"),
                Sz("Service", Name("svc%04d", i % 500))});
      }
      const auto services = Key(controlSet, "Services");
      for (int i = 0; i < 500; ++i) AddService(services, i);
      const auto enumeration = Key(controlSet, "Enum");
      for (int bus = 0; bus < 20; ++bus) {
        const auto busKey = Key(enumeration, Name("BUS%02d", bus));
        for (int i = 0; i < 215; ++i) AddDevice(busKey, bus * 215 + i);
      }
    }
    if (hivex_commit(hive_, nullptr, 0) != 0) throw std::runtime_error("hivex_commit failed");
    return keys_;
  }

 private:
  struct Value {
    std::string name;
    hive_type type;
    std::string data;
  };

  static std::string Name(const char* format, int a, int b = 0) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
  }
  static std::string Utf16(const std::string& text) {
    std::string bytes;
    for (const char16_t c : ravlin::AnsiToUtf16(text)) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
    return bytes + std::string(2, '\0');
  }
  static Value Sz(const std::string& name, const std::string& text) {
    return {name, hive_t_REG_SZ, Utf16(text)};
  }
  static Value Expand(const std::string& name, const std::string& text) {
    return {name, hive_t_REG_EXPAND_SZ, Utf16(text)};
  }
  static Value Dword(const std::string& name, std::uint32_t value) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>(value >> (8 * i));
    return {name, hive_t_REG_DWORD, data};
  }
  static Value Binary(const std::string& name, std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7);
    return {name, hive_t_REG_BINARY, data};
  }

  hive_node_h Key(hive_node_h parent, const std::string& name) {
    const auto node = hivex_node_add_child(hive_, parent, name.c_str());
    if (node == 0) throw std::runtime_error("hivex cannot add " + name);
    ++keys_;
    return node;
  }
  void Values(hive_node_h node, const std::vector<Value>& values) {
    std::vector<hive_set_value> set;
    for (const auto& value : values)
      set.push_back({const_cast<char*>(value.name.c_str()), value.type, value.data.size(),
                     const_cast<char*>(value.data.data())});
    if (hivex_node_set_values(hive_, node, set.size(), set.data(), 0) != 0)
      throw std::runtime_error("hivex cannot set values");
  }
  void AddService(hive_node_h services, int i) {
    const auto service = Key(services, Name("svc%04d", i));
    Values(service, {Dword("Type", 1), Dword("Start", 3), Dword("ErrorControl", 1),
                     Expand("ImagePath", Name("system32\\DRIVERS\\svc%04d.sys", i)),
                     Sz("DisplayName", Name("Stand-in service driver number %d", i)),
                     Sz("Group", "Extended Base"),
                     Sz("Description",
                        "A service of the benchmark hive, with a description as long as "
                        "the ones Windows ships for its own drivers and services.")});
    Values(Key(service, "Parameters"),
           {Dword("BusType", 5), Dword("MaximumTransfer", 65536), Sz("Mode", "auto")});
    Values(Key(service, "Enum"), {Sz("0", Name("PCI\\VEN_8086&DEV_%04X", i)), Dword("Count", 1),
                                  Dword("NextInstance", 1)});
    Values(Key(service, "Security"), {Binary("Security", 160)});
    Key(service, "Linkage");
    Values(Key(service, "Performance"), {Sz("Library", "perfsvc.dll"), Dword("Counters", 4)});
  }

  void AddDevice(hive_node_h bus, int i) {
    const auto instance = Key(Key(bus, Name("VEN_%04X&DEV_%04X", 0x8086, i)), "3&2411e6fe&0&00");
    Values(instance, {Sz("DeviceDesc", Name("Stand-in device number %d", i)),
                      Sz("Service", Name("svc%04d", i % 500)), Dword("ConfigFlags", 0)});
    Key(instance, "Device Parameters");
    Values(Key(instance, "LogConf"), {Binary("BasicConfigVector", 120)});
    Key(instance, "Control");
  }

  hive_h* hive_ = nullptr;
  int keys_ = 0;
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
    ::setenv("RAVLIN_REGISTRY", (folder / "store").c_str(), 1);
    ::setenv("RAVLIN_DRIVES", ("C=" + drive_.string()).c_str(), 1);
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
    const pid_t builder = ::fork();
    if (builder == 0) {
      try {
        std::printf("synthetic hive: %d keys\n", HiveBuilder(large).Build());
        std::fflush(stdout);
        std::_Exit(0);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "import_bench: %s\n", error.what());
        std::_Exit(1);
      }
    }
    int status = 0;
    if (builder < 0 || ::waitpid(builder, &status, 0) != builder || status != 0)
      throw std::runtime_error("cannot build the large hive");
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

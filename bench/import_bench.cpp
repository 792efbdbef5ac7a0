// How fast tarvel001.reg is imported into a SYSTEM hive (the XP-like sample's, the Windows 7
// one of the test data, a 51 MB synthetic one) as the repair does it (mount, the importer
// process, unmount), against the floor (a plain copy of the hive file) and two other
// importers, all at equal durability: each peer's run is followed by `sync FILE`, as our
// unmount flushes the new hive before its rename. Goals: faster than chntpw's reged and than
// hivexregedit on every hive; peak memory at most the hive and 20 MB.
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
#include "bench/support/large_hive.hpp"
#include "platform/backend.hpp"
#include "platform/codepage.hpp"

namespace {

using namespace ravlin::bench;

constexpr const char* kMountName = "Ravlin_System";
constexpr const char* kPrefix = "HKEY_LOCAL_MACHINE\\Ravlin_System";

// A fresh guest folder (drive C:) in `folder` holding a copy of `hive`.
void MakeGuest(const fs::path& folder, const fs::path& hive) {
  const auto config = folder / "c" / "WINDOWS" / "system32" / "config";
  fs::remove_all(folder / "c" / "WINDOWS");
  fs::create_directories(config);
  fs::copy_file(hive, config / "system");
}

// A registry store and the drive C: in a folder, with the hive privileges enabled, so that
// the guest's hive can be mounted as the repair mounts it.
class Registry {
 public:
  explicit Registry(const fs::path& folder) : drive_(folder / "c") {
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

  // Mounts the guest's hive at HKLM\Ravlin_System.
  void Mount() {
    const auto status = platform_.registry->RegLoadKeyA(ravlin::kHkeyLocalMachine, kMountName,
                                                        "C:\\WINDOWS\\system32\\config\\system");
    if (status != 0) throw std::runtime_error("RegLoadKeyA: " + std::to_string(status));
  }
  // The unmount writes the result back into the guest durably: part of what an import costs.
  void Unmount() {
    const auto status = platform_.registry->RegUnLoadKeyA(ravlin::kHkeyLocalMachine, kMountName);
    if (status != 0) throw std::runtime_error("RegUnLoadKeyA: " + std::to_string(status));
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

  std::vector<double> ours, hivex, copy, reged;
  Figures figures;
  for (int run = 0; run < runs; ++run) {
    // The registry that mounts and serves the hive lives in a process of its own, as in the
    // repair, so that its time and memory are measured with the importer's.
    MakeGuest(work, hive);
    const auto imported = RunInChildProcess([&] {
      try {
        Registry registry(work);
        registry.Mount();
        const auto timing = Run({regedit.string(), "/s", regFile.string()});
        registry.Unmount();
        return timing.exitCode;
      } catch (const std::exception& error) {
        std::fprintf(stderr, "import_bench: %s\n", error.what());
        return 1;
      }
    });
    if (imported.exitCode != 0) throw std::runtime_error("the import failed");
    ours.push_back(imported.seconds);
    figures.oursPeakKilobytes = std::max(figures.oursPeakKilobytes, imported.peakKilobytes);

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
    auto regedRun =
        Run({"reged", "-I", "-C", regedCopy.string(), kPrefix, utf8File.string()}, quietFailure);
    figures.regedExitCode = regedRun.exitCode;
    regedRun.seconds += Run({"sync", regedCopy.string()}).seconds;
    reged.push_back(regedRun.seconds);
  }
  figures.ours = Median(ours);
  figures.hivex = Median(hivex);
  figures.copy = Median(copy);
  figures.reged = Median(reged);
  return figures;
}

void Report(const std::string& title, const fs::path& hive, const Figures& f, int runs) {
  const double hiveMb = static_cast<double>(fs::file_size(hive)) / (1024 * 1024);
  std::printf("%s: %.1f MB, median of %d runs\n", title.c_str(), hiveMb, runs);
  std::printf("  ours (mount, regedit /s, unmount)   %8.1f ms   peak memory %.1f MB\n",
              f.ours * 1000, static_cast<double>(f.oursPeakKilobytes) / 1024);
  std::printf("  copy of the hive + sync             %8.1f ms\n", f.copy * 1000);
  std::printf("  hivexregedit --merge + sync         %8.1f ms\n", f.hivex * 1000);
  std::printf("  reged -I -C + sync                  %8.1f ms%s\n", f.reged * 1000,
              f.regedExitCode == 0 ? "" : "   (reged FAILED: exit code not 0)");
  std::printf("  ours / copy        %5.2f\n", f.ours / f.copy);
  if (f.regedExitCode == 0)
    std::printf("  reged / ours       %5.2f  (goal > 1)       %s\n", f.reged / f.ours,
                Verdict(f.reged > f.ours));
  else
    std::printf("  reged / ours       %5.2f  (reged failed on this hive: nothing to compare)\n",
                f.reged / f.ours);
  std::printf("  hivex / ours       %5.2f  (goal > 1)       %s\n", f.hivex / f.ours,
              Verdict(f.hivex > f.ours));
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
    BuildLargeSystemHive(large);
    const auto largeWork = temp.path() / "large";
    fs::create_directories(largeWork);
    Report("synthetic SYSTEM hive", large, Measure(large, largeWork, regFile, regedit, runs), runs);

    const auto win7 = temp.path() / "win7-system.hive";
    DecompressTestHive(source, "win7-system", win7);
    const auto win7Work = temp.path() / "win7";
    fs::create_directories(win7Work);
    Report("Windows 7 SYSTEM hive", win7, Measure(win7, win7Work, regFile, regedit, runs), runs);

    const auto xp = temp.path() / "xp";
    Run({(binFolder / "ravlin-sample").string(), xp.string()});
    const auto xpHive = xp / "WINDOWS" / "system32" / "config" / "system";
    const auto xpWork = temp.path() / "xp-work";
    fs::create_directories(xpWork);
    Report("XP-like sample SYSTEM hive", xpHive, Measure(xpHive, xpWork, regFile, regedit, runs),
           runs);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "import_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}

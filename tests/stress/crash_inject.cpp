// crash_inject [--iterations N] [--pairs N] [--driver-kills N] [--restore-kills N] [--seed S]
// Repairs fresh guests with the console front end as a whole process, kills its process
// group (the program and the registry editor it runs) with SIGKILL at a random moment, and
// checks what the kill left: the guest hive opens with libhivex, each control set is either
// untouched or carries all of its registry file, the whole hive is either untouched or the
// full result (the repair reaches the guest in one write at the unmount), the backup is
// byte-equal to the untouched hive, and the next run completes, leaving the result of a full
// repair and no temporary file. Then starts two repairs of one guest at once (on one registry store
// and on two): one completes, the other fails with a message, and the hive is never torn. Guests:
// the XP-like sample and the Windows 7 hive of the test data, taken in turns.
// Driver-stage kills (--driver-kills N): guests without the IDE drivers, whose own service pack
// files hold them, are killed while the drivers are being copied. The hive must be untouched,
// the next run must complete, and `--restore` after it must leave the guest's files exactly as
// they were: every driver the killed run copied was on record, and no temporary copy is left in
// the guest or in the temporary folder.
// Undo kills (--restore-kills N): repaired guests undone with --restore, killed the same way:
// the hive is the repaired or the original one, never another, and a second undo finishes the
// first (the original hive back, the repaired one kept beside it, no driver the repair copied
// left, nothing else changed). Prints the count of each outcome; exits 1 when any check failed.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/driver_files.hpp"
#include "tests/support/hive_digest.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/process_group.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;
using namespace ravlin::testing;
using Digests = std::map<std::string, std::uint64_t>;
using Files = std::map<fs::path, std::string>;

namespace {

constexpr const char* kSuccessText = "Operation completed successfully!";
constexpr std::chrono::seconds kRunLimit{180};
const fs::path kHiveInGuest = fs::path("WINDOWS") / "system32" / "config" / "system";
const fs::path kBackupInGuest =
    fs::path("WINDOWS") / "system32" / "config" / "system.ravlin-backup";
const fs::path kRecordInGuest = fs::path("WINDOWS") / "ravlin.log";
const fs::path kRepairedInGuest =
    fs::path("WINDOWS") / "system32" / "config" / "system.ravlin-repaired";
const fs::path kDriversInGuest = fs::path("WINDOWS") / "system32" / "drivers";

struct Options {
  int iterations = 100;
  int pairs = 5;
  int driverKills = 30;
  int restoreKills = 30;
  std::uint64_t seed = std::random_device{}();
};

// Outcome counts of one part of the run; names starting "FAILED" are faults.
struct Tally {
  std::map<std::string, int> counts;
  std::vector<std::string> details;  // the first few of each fault, to reproduce them

  void Count(const std::string& outcome) { ++counts[outcome]; }
  void Fail(const std::string& fault, const std::string& detail) {
    const std::string outcome = "FAILED: " + fault;
    Count(outcome);
    if (counts[outcome] <= 3) details.push_back(fault + ": " + detail);
  }
  int Failures() const {
    int failures = 0;
    for (const auto& [outcome, count] : counts)
      if (outcome.rfind("FAILED", 0) == 0) failures += count;
    return failures;
  }
  void Print(const std::string& title) const {
    std::cout << title << "\n";
    for (const auto& [outcome, count] : counts)
      std::cout << "  " << std::left << std::setw(64) << outcome << std::right << std::setw(6)
                << count << "\n";
    for (const auto& detail : details) std::cout << "    " << detail << "\n";
  }
};

// Every regular file below `folder`, by path relative to it.
Files FilesBelow(const fs::path& folder) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().lexically_relative(folder)] = ReadFile(entry);
  return files;
}

std::set<fs::path> NamesBelow(const fs::path& folder) {
  std::set<fs::path> names;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error))
    names.insert(it->path().lexically_relative(folder));
  return names;
}

std::string LastLines(const std::string& text, std::size_t count) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line.find_first_not_of(" \r") != std::string::npos) lines.push_back(line);
  std::string result;
  for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i)
    result += (result.empty() ? "" : " | ") + lines[i];
  return result;
}

// The text of the last message box the console showed: the lines between its "== title =="
// line and its buttons.
std::string LastBox(const std::string& output) {
  const auto title = output.rfind("\n== ");
  if (title == std::string::npos) return LastLines(output, 1);
  std::istringstream in(output.substr(output.find('\n', title + 1) + 1));
  std::string text;
  for (std::string line; std::getline(in, line) && line.rfind("[", 0) != 0;)
    if (!line.empty() && line != "\r") text += (text.empty() ? "" : " ") + line;
  return text;
}

// A guest to repair, and what a repair left uninterrupted does to it.
struct GuestKind {
  std::string name;
  std::optional<std::string> testHive;  // replaces the sample's hive
  fs::path folder;                      // the untouched guest (holds WINDOWS)
  std::string originalHive;
  Digests original;
  Digests complete;
  Files completeFiles;  // everything but the hive and its backup
  std::set<fs::path> completeStore;
  std::chrono::milliseconds fullRun{0};
  Tally kills;
  std::map<std::string, Tally> pairs;
  fs::path withoutDrivers;  // the untouched guest lacking the IDE drivers
  Files withoutDriversFiles;
  Tally driverKills;
};

// A guest that lacked the IDE drivers, repaired once: what every killed undo starts from.
struct RepairedGuest {
  fs::path folder;  // holds WINDOWS, repaired
  std::string originalHive;
  std::string repairedHive;
  Files undone;  // every file after a full undo, but the record
  std::chrono::milliseconds fullRun{0};
  Tally kills;
};

class CrashInjection {
 public:
  explicit CrashInjection(Options options) : options_(options), random_(options.seed) {}

  int Run() {
    std::cout << "crash injection: " << options_.iterations << " kills, " << options_.pairs
              << " pairs of repairs at once per mode and guest, seed " << options_.seed << "\n";
    const auto started = std::chrono::steady_clock::now();
    std::vector<GuestKind> kinds;
    kinds.resize(2);
    kinds[0].name = "XP-like sample";
    kinds[1].name = "Windows 7 hive";
    kinds[1].testHive = "win7-system";
    for (auto& kind : kinds) Prepare(kind);
    for (int i = 0; i < options_.iterations; ++i) KillOnce(kinds[i % kinds.size()], i);
    for (auto& kind : kinds)
      for (int i = 0; i < options_.pairs; ++i) {
        TwoAtOnce(kind, true);
        TwoAtOnce(kind, false);
      }
    for (auto& kind : kinds) PrepareWithoutDrivers(kind);
    for (int i = 0; i < options_.driverKills; ++i)
      KillDuringDriverStage(kinds[i % kinds.size()], i);
    RepairedGuest repaired;
    if (options_.restoreKills > 0) PrepareUndo(repaired);
    for (int i = 0; i < options_.restoreKills; ++i) KillUndoOnce(repaired, i);

    int failures = 0;
    for (const auto& kind : kinds) {
      std::ostringstream title;
      title << kind.name << " (full repair " << kind.fullRun.count() << " ms), kills:";
      kind.kills.Print(title.str());
      failures += kind.kills.Failures();
      for (const auto& [mode, tally] : kind.pairs) {
        tally.Print(kind.name + ", two repairs at once, " + mode + ":");
        failures += tally.Failures();
      }
      if (options_.driverKills > 0) {
        kind.driverKills.Print(kind.name + ", kills during the driver stage:");
        failures += kind.driverKills.Failures();
      }
    }
    if (options_.restoreKills > 0) {
      repaired.kills.Print("--restore (full undo " + std::to_string(repaired.fullRun.count()) +
                           " ms), kills:");
      failures += repaired.kills.Failures();
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - started);
    std::cout << (failures == 0 ? "all checks held" : std::to_string(failures) + " faults") << " ("
              << seconds.count() << " s)\n";
    return failures == 0 ? 0 : 1;
  }

 private:
  ProgramRun Repair(const fs::path& guest, const fs::path& store) const {
    ProgramRun run;
    // --force: the Windows 7 hive is a later Windows, which --yes does not repair.
    run.arguments = {BinPath("ravlin").string(), "--console", "--guest",
                     (guest / "WINDOWS").string(), "--force"};
    run.environment = {{"RAVLIN_REGISTRY", store.string()},
                       {"RAVLIN_DRIVES", "C=" + guest.string()},
                       {"DISPLAY", std::nullopt},
                       {"WAYLAND_DISPLAY", std::nullopt}};
    run.timeout = kRunLimit;
    return run;
  }

  // A fresh copy of the untouched guest in `place` (guest/ and an empty store/).
  static void FreshGuest(const GuestKind& kind, const fs::path& place) {
    fs::remove_all(place);
    fs::create_directories(place);
    fs::copy(kind.folder, place / "guest", fs::copy_options::recursive);
  }

  static bool Completed(const ProgramResult& result) {
    return result.exitCode == 0 && result.out.find(kSuccessText) != std::string::npos;
  }

  void Prepare(GuestKind& kind) {
    const fs::path base = work_ / (kind.testHive ? *kind.testHive : "sample");
    kind.folder = base / "untouched";
    ProgramRun sample;
    sample.arguments = {BinPath("ravlin-sample").string(), kind.folder.string()};
    const auto made = RunProgram(sample);
    if (made.exitCode != 0) throw std::runtime_error("ravlin-sample failed: " + made.err);
    if (kind.testHive) {
      fs::remove(kind.folder / kHiveInGuest);
      DecompressTestHive(*kind.testHive, kind.folder / kHiveInGuest);
    }
    kind.originalHive = ReadFile(kind.folder / kHiveInGuest);
    const auto original = HiveDigests(kind.folder / kHiveInGuest);
    if (!original) throw std::runtime_error(kind.name + ": libhivex cannot read the guest hive");
    kind.original = *original;

    // The full result, and how long a full repair takes here (the middle of three).
    std::vector<std::chrono::milliseconds> times;
    for (int i = 0; i < 3; ++i) {
      const fs::path place = base / "full";
      FreshGuest(kind, place);
      const auto start = std::chrono::steady_clock::now();
      const auto result = RunProgram(Repair(place / "guest", place / "store"));
      times.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start));
      if (!Completed(result))
        throw std::runtime_error(kind.name + ": an uninterrupted repair failed: " +
                                 LastLines(result.out + result.err, 4));
      const auto complete = HiveDigests(place / "guest" / kHiveInGuest);
      if (!complete) throw std::runtime_error(kind.name + ": the repaired hive is unreadable");
      kind.complete = *complete;
      kind.completeFiles = GuestFiles(place / "guest");
      kind.completeStore = NamesBelow(place / "store");
    }
    std::sort(times.begin(), times.end());
    kind.fullRun = times[1];
    for (const auto& [key, digest] : kind.original)
      if (kind.complete.count(key) && kind.complete.at(key) != digest) repairedKeys_[kind.name]++;
    if (repairedKeys_[kind.name] == 0)
      throw std::runtime_error(kind.name + ": a full repair changed no key of the hive");
  }

  static Files GuestFiles(const fs::path& guest) {
    Files files = FilesBelow(guest);
    files.erase(kHiveInGuest);
    files.erase(kBackupInGuest);
    // The record gains one block per attempt, with its date: no two runs write the same.
    files.erase(kRecordInGuest);
    return files;
  }

  // Checks the guest as a kill left it; false when a fault was counted.
  bool CheckAfterKill(GuestKind& kind, const fs::path& guest, const std::string& what) {
    const std::string hive = ReadFile(guest / kHiveInGuest);
    if (hive == kind.originalHive) {
      kind.kills.Count("first run left the hive byte-equal to the original");
    } else {
      const auto digests = HiveDigests(guest / kHiveInGuest);
      if (!digests) {
        kind.kills.Fail("guest hive unreadable by libhivex after the kill", what);
        return false;
      }
      int repaired = 0, untouched = 0;
      for (const auto& [key, digest] : kind.complete) {
        const auto found = digests->find(key);
        if (found == digests->end() ||
            (found->second != digest && found->second != kind.original.at(key))) {
          kind.kills.Fail("a key of the hive neither untouched nor fully repaired",
                          what + ", key " + key);
          return false;
        }
        if (digest == kind.original.at(key)) continue;
        (found->second == digest ? repaired : untouched)++;
      }
      if (untouched == 0) {
        kind.kills.Count("first run left the hive fully repaired");
      } else if (repaired == 0) {
        kind.kills.Count("first run left the hive rewritten, content untouched");
      } else {
        kind.kills.Fail("guest hive left half repaired (some control sets done)",
                        what + ", " + std::to_string(repaired) + " done, " +
                            std::to_string(untouched) + " not");
        return false;
      }
    }
    if (fs::exists(guest / kBackupInGuest) &&
        ReadFile(guest / kBackupInGuest) != kind.originalHive) {
      kind.kills.Fail("backup differs from the original after the kill", what);
      return false;
    }
    return true;
  }

  // Checks the guest after a run that must have completed a full repair.
  bool CheckRepaired(GuestKind& kind, Tally& tally, const fs::path& place,
                     const std::string& what) {
    const fs::path guest = place / "guest";
    const auto digests = HiveDigests(guest / kHiveInGuest);
    if (!digests) {
      tally.Fail("guest hive unreadable by libhivex after the repair", what);
      return false;
    }
    if (*digests != kind.complete) {
      tally.Fail("guest hive differs from a full repair", what);
      return false;
    }
    if (!fs::exists(guest / kBackupInGuest) ||
        ReadFile(guest / kBackupInGuest) != kind.originalHive) {
      tally.Fail("backup missing or not byte-equal to the original", what);
      return false;
    }
    const auto files = GuestFiles(guest);
    if (files != kind.completeFiles) {
      std::string extra;
      for (const auto& [name, content] : files)
        if (!kind.completeFiles.count(name)) extra += " " + name.string();
      if (extra.empty())
        tally.Fail("guest files differ from a full repair", what);
      else
        tally.Fail("file left in the guest", what + ":" + extra);
      return false;
    }
    return true;
  }

  void KillOnce(GuestKind& kind, int iteration) {
    const fs::path place = work_ / "kill";
    FreshGuest(kind, place);
    const auto limit = std::chrono::milliseconds(kind.fullRun.count() * 11 / 10 + 1);
    const auto delay = std::chrono::milliseconds(
        std::uniform_int_distribution<std::int64_t>(0, limit.count())(random_));
    std::ostringstream what;
    what << "iteration " << iteration << ", kill after " << delay.count() << " ms";
    {
      ProgramGroup repair(Repair(place / "guest", place / "store"), place / "killed-run.txt");
      if (const auto exitCode = repair.Wait(delay)) {
        if (*exitCode == 0)
          kind.kills.Count("ended before the kill");
        else
          kind.kills.Fail("a run that was not killed ended with an error",
                          what.str() + ": " + LastLines(ReadFile(place / "killed-run.txt"), 3));
      } else {
        repair.KillGroup();
        repair.Wait(std::chrono::milliseconds(-1));
      }
    }
    if (!CheckAfterKill(kind, place / "guest", what.str())) return;

    const auto next = RunProgram(Repair(place / "guest", place / "store"));
    if (!Completed(next)) {
      kind.kills.Fail("the next run did not complete", what.str() + ": exit " +
                                                           std::to_string(next.exitCode) + ": " +
                                                           LastLines(next.out + next.err, 3));
      return;
    }
    if (!CheckRepaired(kind, kind.kills, place, what.str() + ", after the next run")) return;
    if (NamesBelow(place / "store") != kind.completeStore) {
      std::string names;
      for (const auto& name : NamesBelow(place / "store"))
        if (!kind.completeStore.count(name)) names += " " + name.string();
      kind.kills.Fail("registry store holds more than after a full repair",
                      what.str() + ":" + names);
      return;
    }
    kind.kills.Count("next run completed, all checks held");
  }

  void TwoAtOnce(GuestKind& kind, bool sameStore) {
    const std::string mode = sameStore ? "one registry store" : "two registry stores";
    Tally& tally = kind.pairs[mode];
    const fs::path place = work_ / "pair";
    FreshGuest(kind, place);
    const fs::path guest = place / "guest";
    std::array<ProgramResult, 2> results;
    {
      ProgramGroup first(Repair(guest, place / "store"), place / "first.txt");
      ProgramGroup second(Repair(guest, place / (sameStore ? "store" : "store2")),
                          place / "second.txt");
      for (ProgramGroup* repair : {&first, &second}) {
        const auto exitCode = repair->Wait(kRunLimit);
        (repair == &first ? results[0] : results[1]).exitCode = exitCode.value_or(-1);
      }
    }
    results[0].out = ReadFile(place / "first.txt");
    results[1].out = ReadFile(place / "second.txt");
    const int completed = Completed(results[0]) + Completed(results[1]);
    const std::string what =
        "outputs: " + LastBox(results[0].out) + " || " + LastBox(results[1].out);
    if (completed == 2) {
      // Legitimate only one after the other: a repair whose guest hive changed after its
      // mount never writes it back, so the hive check below tells a lost repair.
      tally.Count("both completed, one after the other");
    } else if (completed == 0) {
      tally.Fail("neither completed", what);
    } else {
      const auto& other = Completed(results[0]) ? results[1] : results[0];
      tally.Count("one completed; the other ended (exit " + std::to_string(other.exitCode) +
                  ") with: " + LastBox(other.out).substr(0, 120));
    }
    CheckRepaired(kind, tally, place, what);
  }

  // The guest of `kind` without the four IDE drivers, which its ServicePackFiles\i386 holds.
  void PrepareWithoutDrivers(GuestKind& kind) {
    kind.withoutDrivers = kind.folder.parent_path() / "without-drivers";
    fs::copy(kind.folder, kind.withoutDrivers, fs::copy_options::recursive);
    for (const auto& driver : kIdeDrivers) {
      fs::remove(kind.withoutDrivers / "WINDOWS" / "system32" / "drivers" / driver);
      WriteFile(kind.withoutDrivers / "WINDOWS" / "ServicePackFiles" / "i386" / driver,
                DriverImage("service pack " + driver));
    }
    kind.withoutDriversFiles = GuestFiles(kind.withoutDrivers);
  }

  ProgramRun Restore(const fs::path& guest, const fs::path& store) const {
    ProgramRun run = Repair(guest, store);
    run.arguments = {BinPath("ravlin").string(), "--restore", (guest / "WINDOWS").string()};
    return run;
  }

  // Starts a repair and kills it a random moment after the first driver copy is on record.
  // False when the run ended before that.
  bool KillAfterFirstDriverRecorded(const ProgramRun& run, const fs::path& record,
                                    const fs::path& output, std::string& what) {
    ProgramGroup repair(run, output);
    const auto started = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - started < kRunLimit) {
      if (const auto exitCode = repair.Wait(std::chrono::milliseconds(1))) {
        what += ", ended with " + std::to_string(*exitCode) + " before a driver was recorded";
        return false;
      }
      std::error_code error;
      if (!fs::exists(record, error) ||
          ReadFile(record).find(": copied from ") == std::string::npos)
        continue;
      const auto delay = std::uniform_int_distribution<int>(0, 40)(random_);
      what += ", kill " + std::to_string(delay) + " ms after the first driver was recorded";
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      repair.KillGroup();
      repair.Wait(std::chrono::milliseconds(-1));
      return true;
    }
    what += ", no driver recorded in time";
    return false;
  }

  void KillDuringDriverStage(GuestKind& kind, int iteration) {
    Tally& tally = kind.driverKills;
    const fs::path place = work_ / "driver-kill";
    fs::remove_all(place);
    fs::create_directories(place / "tmp");
    fs::copy(kind.withoutDrivers, place / "guest", fs::copy_options::recursive);
    const fs::path guest = place / "guest";
    const auto withTmp = [&](ProgramRun run) {
      run.environment["TMPDIR"] = (place / "tmp").string();
      return run;
    };
    std::string what = "iteration " + std::to_string(iteration);
    if (!KillAfterFirstDriverRecorded(withTmp(Repair(guest, place / "store")),
                                      guest / kRecordInGuest, place / "killed-run.txt", what)) {
      tally.Fail("the run was not killed during the driver stage", what);
      return;
    }
    // The hive reaches the guest only at the unmount, after the driver stage.
    const std::string hive = ReadFile(guest / kHiveInGuest);
    if (hive != kind.originalHive) {
      const auto digests = HiveDigests(guest / kHiveInGuest);
      if (!digests || *digests != kind.complete) {
        tally.Fail("hive neither untouched nor fully repaired after the kill", what);
        return;
      }
      tally.Count("killed after the hive was written back");
    }

    const auto next = RunProgram(withTmp(Repair(guest, place / "store")));
    if (!Completed(next)) {
      tally.Fail("the next run did not complete", what + ": " + LastLines(next.out + next.err, 3));
      return;
    }
    if (const auto left = NamesBelow(place / "tmp"); !left.empty()) {
      std::string names;
      for (const auto& name : left) names += " " + name.string();
      tally.Fail("scratch left in the temporary folder after the next run", what + ":" + names);
      return;
    }
    const auto restored = RunProgram(withTmp(Restore(guest, place / "store")));
    if (restored.exitCode != 0) {
      tally.Fail("--restore after the next run failed",
                 what + ": " + LastLines(restored.out + restored.err, 3));
      return;
    }
    if (ReadFile(guest / kHiveInGuest) != kind.originalHive) {
      tally.Fail("--restore did not bring back the original hive", what);
      return;
    }
    Files files = GuestFiles(guest);
    files.erase(fs::path("WINDOWS") / "system32" / "config" / "system.ravlin-repaired");
    if (files != kind.withoutDriversFiles) {
      std::string extra;
      for (const auto& [name, content] : files)
        if (!kind.withoutDriversFiles.count(name)) extra += " " + name.string();
      tally.Fail("files left in the guest after --restore", what + ":" + extra);
      return;
    }
    tally.Count("next run and --restore left the guest's files as they were");
  }

  ProgramRun Undo(const fs::path& guest, const fs::path& store) const {
    ProgramRun run = Repair(guest, store);
    run.arguments = {BinPath("ravlin").string(), "--console", "--restore",
                     (guest / "WINDOWS").string()};
    return run;
  }

  static Files UndoneFiles(const fs::path& guest) {
    Files files = FilesBelow(guest);
    files.erase(kRecordInGuest);
    return files;
  }

  void PrepareUndo(RepairedGuest& repaired) {
    const fs::path base = work_ / "undo";
    repaired.folder = base / "repaired";
    ProgramRun sample;
    sample.arguments = {BinPath("ravlin-sample").string(), repaired.folder.string()};
    for (const std::string& driver : kIdeDrivers) {
      sample.arguments.emplace_back("--without");
      sample.arguments.emplace_back(driver);
    }
    if (const auto made = RunProgram(sample); made.exitCode != 0)
      throw std::runtime_error("ravlin-sample failed: " + made.err);
    // The guest's own driver cabinet, whatever the build's required-files folder holds.
    std::map<std::string, std::string> drivers;
    for (const std::string& driver : kIdeDrivers) drivers[driver] = DriverImage(driver);
    MakeCabinet(repaired.folder / "WINDOWS" / "Driver Cache" / "i386" / "sp2.cab", drivers);
    repaired.originalHive = ReadFile(repaired.folder / kHiveInGuest);
    const auto repair = RunProgram(Repair(repaired.folder, base / "store"));
    if (!Completed(repair))
      throw std::runtime_error("the repair to undo failed: " + LastLines(repair.out, 4));
    repaired.repairedHive = ReadFile(repaired.folder / kHiveInGuest);
    for (const std::string& driver : kIdeDrivers)
      if (!fs::exists(repaired.folder / kDriversInGuest / driver))
        throw std::runtime_error("the repair to undo copied no " + driver);

    std::vector<std::chrono::milliseconds> times;
    for (int i = 0; i < 3; ++i) {
      const fs::path place = base / "full";
      fs::remove_all(place);
      fs::create_directories(place);
      fs::copy(repaired.folder, place / "guest", fs::copy_options::recursive);
      const auto start = std::chrono::steady_clock::now();
      const auto undo = RunProgram(Undo(place / "guest", place / "store"));
      times.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start));
      if (undo.exitCode != 0)
        throw std::runtime_error("an uninterrupted undo failed: " + LastLines(undo.out, 4));
      repaired.undone = UndoneFiles(place / "guest");
    }
    std::sort(times.begin(), times.end());
    repaired.fullRun = times[1];
  }

  // The guest after an undo that must have finished; false when a fault was counted.
  static bool CheckUndone(RepairedGuest& repaired, const fs::path& guest, const std::string& what) {
    if (ReadFile(guest / kHiveInGuest) != repaired.originalHive) {
      repaired.kills.Fail("the hive is not the original after the second undo", what);
      return false;
    }
    if (ReadFile(guest / kRepairedInGuest) != repaired.repairedHive) {
      repaired.kills.Fail("the repaired hive is not kept after the second undo", what);
      return false;
    }
    const Files files = UndoneFiles(guest);
    if (files != repaired.undone) {
      std::string differ;
      for (const auto& [name, content] : files)
        if (!repaired.undone.count(name) || repaired.undone.at(name) != content)
          differ += " " + name.string();
      for (const auto& [name, content] : repaired.undone)
        if (!files.count(name)) differ += " missing " + name.string();
      repaired.kills.Fail("guest files differ from a full undo", what + ":" + differ);
      return false;
    }
    const std::string record = ReadFile(guest / kRecordInGuest);
    if (!record.ends_with("End: restored\r\n\r\n")) {
      repaired.kills.Fail("the record does not end with the finished undo", what);
      return false;
    }
    return true;
  }

  void KillUndoOnce(RepairedGuest& repaired, int iteration) {
    const fs::path place = work_ / "undo-kill";
    fs::remove_all(place);
    fs::create_directories(place);
    fs::copy(repaired.folder, place / "guest", fs::copy_options::recursive);
    const auto limit = std::chrono::milliseconds(repaired.fullRun.count() * 11 / 10 + 1);
    const auto delay = std::chrono::milliseconds(
        std::uniform_int_distribution<std::int64_t>(0, limit.count())(random_));
    std::ostringstream what;
    what << "undo " << iteration << ", kill after " << delay.count() << " ms";
    bool ended = false;
    {
      ProgramGroup undo(Undo(place / "guest", place / "store"), place / "killed-undo.txt");
      if (const auto exitCode = undo.Wait(delay)) {
        if (*exitCode != 0) {
          repaired.kills.Fail(
              "an undo that was not killed ended with an error",
              what.str() + ": " + LastLines(ReadFile(place / "killed-undo.txt"), 3));
          return;
        }
        ended = true;
      } else {
        undo.KillGroup();
        undo.Wait(std::chrono::milliseconds(-1));
      }
    }
    const std::string hive = ReadFile(place / "guest" / kHiveInGuest);
    if (hive != repaired.originalHive && hive != repaired.repairedHive) {
      repaired.kills.Fail("the hive is neither the repaired nor the original after the kill",
                          what.str());
      return;
    }
    std::string outcome = "ended before the kill";
    if (!ended) {
      // A kill after the undo's last step leaves nothing to finish: the second one says so.
      const auto again = RunProgram(Undo(place / "guest", place / "store"));
      outcome = again.exitCode == 0 ? "second undo finished it" : "second undo found it finished";
      if (again.exitCode != 0 && again.out.find("There is no backup") == std::string::npos) {
        repaired.kills.Fail("the second undo did not finish the first",
                            what.str() + ": " + LastLines(again.out + again.err, 2));
        return;
      }
    }
    if (CheckUndone(repaired, place / "guest", what.str()))
      repaired.kills.Count(outcome + ", all checks held");
  }

  Options options_;
  std::mt19937_64 random_;
  TempDir dir_;
  fs::path work_ = dir_.path();
  std::map<std::string, int> repairedKeys_;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--iterations" && hasValue)
      options.iterations = std::stoi(argv[++i]);
    else if (argument == "--pairs" && hasValue)
      options.pairs = std::stoi(argv[++i]);
    else if (argument == "--driver-kills" && hasValue)
      options.driverKills = std::stoi(argv[++i]);
    else if (argument == "--restore-kills" && hasValue)
      options.restoreKills = std::stoi(argv[++i]);
    else if (argument == "--seed" && hasValue)
      options.seed = std::stoull(argv[++i]);
    else
      return std::nullopt;
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << "usage: crash_inject [--iterations N] [--pairs N] [--driver-kills N] "
                 "[--restore-kills N] [--seed S]\n";
    return 2;
  }
  try {
    return CrashInjection(*options).Run();
  } catch (const std::exception& error) {
    std::cerr << "crash_inject: " << error.what() << "\n";
    return 2;
  }
}

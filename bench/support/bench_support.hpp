#pragma once

// What the benchmarks share: running programs with their time and peak memory, medians,
// files, the floor copies, the test hives, a scratch folder and a user who is never asked.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui.hpp"

namespace ravlin::bench {

namespace fs = std::filesystem;

struct Timing {
  double seconds = 0;
  long peakKilobytes = 0;
  int exitCode = 0;
};

struct RunOptions {
  // A program that fails is an error unless it may.
  bool mayFail = false;
  // Standard error thrown away too (standard output always is, unless `output` names a file).
  bool quiet = false;
  fs::path output;
};

// Runs a program (found on PATH) to its end; its wall time and the peak resident memory that
// wait4 reports (which counts this process's pages for a child that has not replaced itself
// yet: see RunMeasured).
Timing Run(const std::vector<std::string>& arguments, const RunOptions& options = {});

// Runs a program under GNU time, which forks it from its own small process, so that the
// peak memory is the program's (and its children's), never this process's. `scratch` holds
// the figure's file.
Timing RunMeasured(const std::vector<std::string>& arguments, const fs::path& scratch,
                   const RunOptions& options = {});

// Runs `work` in a child process of its own, so that what it holds in memory never counts in
// this process's peak: its time, its peak memory (and its children's), and its result (-1 when
// it did not return).
Timing RunInChildProcess(const std::function<int()>& work);

// Sets (or, with nothing, removes) a variable of this process's environment, which the
// programs it starts inherit.
void SetVariable(const std::string& name, const std::optional<std::string>& value);

// The largest resident size this process has had, in KiB.
long PeakKilobytesOfThisProcess();

double Median(std::vector<double> values);

std::string ReadAll(const fs::path& file);
void WriteAll(const fs::path& file, const std::string& bytes);

// Copies each file a buffer at a time (a whole-file buffer would raise this process's peak
// memory, which a child started with posix_spawn reports as its own) and then flushes them
// all with one `sync FILE...`: the floor of any durable change. Its time in seconds.
double CopyAndSync(const std::vector<std::pair<fs::path, fs::path>>& copies);

// A benchmark's command line, `NAME [SOURCE_DIR] [RUNS]`: SOURCE_DIR defaults to the source
// tree this build came from (read from CMakeCache.txt), the programs are beside this one.
struct Arguments {
  fs::path binFolder;
  fs::path source;
  int runs = 0;
};
Arguments ReadArguments(int argc, char** argv, int defaultRuns);

// One of the project's test hives (tests/data/hives/NAME.xz), decompressed to `target`.
void DecompressTestHive(const fs::path& source, const std::string& name, const fs::path& target);

// "met", or "MISSED".
const char* Verdict(bool met);

// Ends a report with the peak memory of a program that works on a hive of `hiveBytes` against
// the goal of at most the hive and 20 MB.
void ReportPeakMemory(long peakKilobytes, std::uintmax_t hiveBytes);

// A folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A user who is never asked anything; the message pump has nothing to run.
class QuietUi : public Ui {
 public:
  int MessageBox(const std::string& text, int style, const std::string& title) override;
  std::optional<fs::path> BrowseForFolder(Handle owner, const std::string& prompt) override;
  void DoEvents() override {}
};

}  // namespace ravlin::bench

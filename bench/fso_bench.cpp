// Measures the file toolkit's listing and search against the system's own tools on a tree it
// generates: Get_FileList (every file, and "*.txt") against `find DIR -type f` on 100,000
// files in 1,000 folders, and TextSearch against `grep -ril` on a folder of 2,000 small files.
// Prints the times, their ratios against the goals and the peak memory.
//
//   fso_bench [--files N] [--folders N] [--search-files N] [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/bench_support.hpp"
#include "fso/clsFSO.hpp"
#include "platform/backend.hpp"

namespace {

using namespace ravlin::bench;

struct Settings {
  int files = 100'000;
  int folders = 1'000;
  int searchFiles = 2'000;
  int runs = 3;
};

Settings ReadSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const int value = std::stoi(argv[i + 1]);
    if (name == "--files")
      settings.files = value;
    else if (name == "--folders")
      settings.folders = value;
    else if (name == "--search-files")
      settings.searchFiles = value;
    else if (name == "--runs")
      settings.runs = value;
    else
      throw std::runtime_error("unknown option " + name);
  }
  if (settings.files < 1 || settings.folders < 1 || settings.searchFiles < 1 || settings.runs < 1)
    throw std::runtime_error("every count must be at least 1");
  return settings;
}

// Ten top folders with the rest of the folders below them; half the files end in ".txt".
void MakeTree(const fs::path& root, const Settings& settings) {
  const int groups = std::min(10, settings.folders);
  std::vector<fs::path> folders;
  for (int f = 0; f < settings.folders; ++f) {
    const fs::path group = root / ("group" + std::to_string(f % groups));
    folders.push_back(f < groups ? group : group / ("folder" + std::to_string(f)));
    fs::create_directories(folders.back());
  }
  for (int i = 0; i < settings.files; ++i)
    WriteAll(folders[static_cast<std::size_t>(i) % folders.size()] /
                 ("file" + std::to_string(i) + (i % 2 == 0 ? ".txt" : ".dat")),
             "");
}

// Small text files; every tenth holds the searched word in some mix of cases.
int MakeSearchFolder(const fs::path& folder, const Settings& settings) {
  fs::create_directories(folder);
  int matching = 0;
  for (int i = 0; i < settings.searchFiles; ++i) {
    std::string content;
    for (int line = 0; line < 12; ++line)
      content += "line " + std::to_string(line) + " of note " + std::to_string(i) +
                 ": lorem ipsum dolor sit amet, consectetur adipiscing elit\r\n";
    if (i % 10 == 0) {
      content.insert(content.size() / 2, i % 20 == 0 ? " NeedLE " : " needle ");
      ++matching;
    }
    WriteAll(folder / ("note" + std::to_string(i) + ".txt"), content);
  }
  return matching;
}

// Runs a program with its output thrown away and waits for it.
void RunQuietly(const std::vector<std::string>& arguments) {
  RunOptions mayFail;
  mayFail.mayFail = true;
  Run(arguments, mayFail);
}

// The best of `runs` timings of `work`, in milliseconds.
double BestOf(int runs, const std::function<void()>& work) {
  double best = 1e300;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

std::size_t Entries(const std::string& list) {
  return static_cast<std::size_t>(std::count(list.begin(), list.end(), ';'));
}

void Report(const char* what, double ours, const char* tool, double theirs, double goal) {
  const double ratio = ours / theirs;
  std::printf("%-26s %9.1f ms   %-22s %9.1f ms   ratio %5.2f  (goal <= %.1f: %s)\n", what, ours,
              tool, theirs, ratio, goal, Verdict(ratio <= goal));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Settings settings = ReadSettings(argc, argv);
    const TempFolder scratch;
    const fs::path tree = scratch.path() / "tree";
    const fs::path notes = scratch.path() / "notes";
    std::printf("Generating %d files in %d folders and %d files to search in %s ...\n",
                settings.files, settings.folders, settings.searchFiles, scratch.path().c_str());
    MakeTree(tree, settings);
    const int matching = MakeSearchFolder(notes, settings);

    const long generatedPeak = PeakKilobytesOfThisProcess();

    ravlin::PlatformOptions options;
    options.drives = "B=" + scratch.path().string();
    options.programFolder = scratch.path();
    options.registryStore = scratch.path() / "registry";
    ravlin::clsFSO fso(ravlin::MakePlatform(std::make_shared<QuietUi>(), options));

    // One untimed pass of each, so that every contender meets warm caches.
    RunQuietly({"find", tree.string(), "-type", "f"});
    RunQuietly({"grep", "-ril", "needle", notes.string()});
    const std::size_t listed = Entries(fso.Get_FileList("B:\\tree").value_or(""));
    const std::size_t listedTxt = Entries(fso.Get_FileList("B:\\tree", true, "*.txt").value_or(""));
    const std::size_t found = fso.TextSearch("B:\\notes", "needle").size();
    if (listed != static_cast<std::size_t>(settings.files) ||
        listedTxt != static_cast<std::size_t>((settings.files + 1) / 2) ||
        found != static_cast<std::size_t>(matching)) {
      std::fprintf(stderr, "wrong results: %zu files, %zu .txt files, %zu matches\n", listed,
                   listedTxt, found);
      return 1;
    }

    const double find = BestOf(settings.runs, [&] {
      RunQuietly({"find", tree.string(), "-type", "f"});
    });
    const double listAll = BestOf(settings.runs, [&] { fso.Get_FileList("B:\\tree"); });
    const double listTxt =
        BestOf(settings.runs, [&] { fso.Get_FileList("B:\\tree", true, "*.txt"); });
    const double grep = BestOf(settings.runs, [&] {
      RunQuietly({"grep", "-ril", "needle", notes.string()});
    });
    const double search = BestOf(settings.runs, [&] { fso.TextSearch("B:\\notes", "needle"); });

    std::printf("\nBest of %d runs, warm caches:\n", settings.runs);
    Report("Get_FileList (all files)", listAll, "find DIR -type f", find, 1.5);
    Report("Get_FileList (\"*.txt\")", listTxt, "find DIR -type f", find, 1.5);
    Report("TextSearch", search, "grep -ril", grep, 2.0);

    std::printf(
        "\nPeak memory of this program: %ld KiB before the timed runs, %ld KiB after them\n",
        generatedPeak, PeakKilobytesOfThisProcess());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fso_bench: %s\n", error.what());
    return 1;
  }
}

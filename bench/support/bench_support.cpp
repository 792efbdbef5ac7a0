#include "bench/support/bench_support.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ravlin::bench {

Timing RunMeasured(const std::vector<std::string>& arguments, const fs::path& scratch,
                   const RunOptions& options) {
  const auto peakFile = scratch / "peak.txt";
  std::vector<std::string> timed{"/usr/bin/time", "-f", "%M", "-o", peakFile.string()};
  timed.insert(timed.end(), arguments.begin(), arguments.end());
  Timing timing = Run(timed, options);
  timing.peakKilobytes = std::stol(ReadAll(peakFile));
  return timing;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

double CopyAndSync(const std::vector<std::pair<fs::path, fs::path>>& copies) {
  std::vector<char> buffer(1 << 20);
  std::vector<std::string> sync{"sync"};
  const auto start = std::chrono::steady_clock::now();
  for (const auto& [from, to] : copies) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
      out.write(buffer.data(), in.gcount());
    if (!out.flush()) throw std::runtime_error("cannot write " + to.string());
    sync.push_back(to.string());
  }
  const std::chrono::duration<double> written = std::chrono::steady_clock::now() - start;
  return written.count() + Run(sync).seconds;
}

namespace {

fs::path SourceDirOfThisBuild(const fs::path& binFolder) {
  std::ifstream cache(binFolder.parent_path() / "CMakeCache.txt");
  const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
  for (std::string line; std::getline(cache, line);)
    if (line.starts_with(key)) return line.substr(key.size());
  throw std::runtime_error("no CMakeCache.txt beside " + binFolder.string() +
                           "; give the source folder as the first argument");
}

}  // namespace

Arguments ReadArguments(int argc, char** argv, int defaultRuns) {
  Arguments arguments;
  arguments.binFolder = fs::read_symlink("/proc/self/exe").parent_path();
  arguments.source = argc > 1 ? fs::path(argv[1]) : SourceDirOfThisBuild(arguments.binFolder);
  arguments.runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : defaultRuns;
  return arguments;
}

void DecompressTestHive(const fs::path& source, const std::string& name, const fs::path& target) {
  const auto compressed = source / "tests" / "data" / "hives" / (name + ".xz");
  RunOptions toTarget;
  toTarget.output = target;
  Run({"xz", "--decompress", "--keep", "--stdout", compressed.string()}, toTarget);
}

const char* Verdict(bool met) {
  return met ? "met" : "MISSED";
}

void ReportPeakMemory(long peakKilobytes, std::uintmax_t hiveBytes) {
  const double peakMb = static_cast<double>(peakKilobytes) / 1024;
  const double limitMb = static_cast<double>(hiveBytes) / (1024 * 1024) + 20;
  std::printf("  peak memory        %5.1f MB (goal <= %.1f MB) %s\n\n", peakMb, limitMb,
              Verdict(peakMb <= limitMb));
  std::fflush(stdout);
}

TempFolder::~TempFolder() {
  std::error_code error;
  fs::remove_all(path_, error);
}

int QuietUi::MessageBox(const std::string&, int, const std::string&) {
  return mb::kIdOk;
}

std::optional<fs::path> QuietUi::BrowseForFolder(Handle, const std::string&) {
  return std::nullopt;
}

}  // namespace ravlin::bench

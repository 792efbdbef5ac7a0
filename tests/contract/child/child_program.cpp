// A child process for the process contract, the same on every platform. Its arguments are
// steps, done in order:
//   sleep MS        waits MS milliseconds
//   line TEXT       writes TEXT and a line break to standard error
//   text TEXT       writes TEXT alone to standard error
//   arguments FILE  writes every later argument, each followed by "|", into FILE and ends
//   exit CODE       ends with CODE
// With no exit step it ends with 0.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view step = argv[i];
    const std::string value = argv[i + 1];
    if (step == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(value)));
    } else if (step == "line" || step == "text") {
      std::fputs((step == "line" ? value + "\n" : value).c_str(), stderr);
      std::fflush(stderr);
    } else if (step == "arguments") {
      std::ofstream out(value, std::ios::binary);
      for (int rest = i + 2; rest < argc; ++rest) out << argv[rest] << '|';
      return out ? 0 : 1;
    } else if (step == "exit") {
      return std::stoi(value);
    } else {
      std::fprintf(stderr, "child_program: unknown step %s\n", argv[i]);
      return 120;
    }
  }
  return 0;
}

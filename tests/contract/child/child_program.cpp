// A child process for the process contract, the same on every platform; it takes its
// arguments as the program does, through the backend. Its arguments are steps, done in order:
//   sleep MS        waits MS milliseconds
//   line TEXT       writes TEXT and a line break to standard error
//   text TEXT       writes TEXT alone to standard error
//   out TEXT        writes TEXT and a line break to standard output
//   arguments FILE  writes every later argument, each followed by "|", into FILE and ends
//   exit CODE       ends with CODE
// With no exit step it ends with 0.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/backend.hpp"

int main(int argc, char** argv) {
  ravlin::AttachToStartingConsole();
  const std::vector<std::string> arguments = ravlin::ProgramArguments(argc, argv);
  for (std::size_t i = 1; i + 1 < arguments.size(); i += 2) {
    const std::string_view step = arguments[i];
    const std::string& value = arguments[i + 1];
    if (step == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(value)));
    } else if (step == "line" || step == "text") {
      std::fputs((step == "line" ? value + "\n" : value).c_str(), stderr);
      std::fflush(stderr);
    } else if (step == "out") {
      std::cout << value << std::endl;
    } else if (step == "arguments") {
      std::ofstream out(value, std::ios::binary);
      for (std::size_t rest = i + 2; rest < arguments.size(); ++rest) out << arguments[rest] << '|';
      return out ? 0 : 1;
    } else if (step == "exit") {
      return std::stoi(value);
    } else {
      std::fprintf(stderr, "child_program: unknown step %s\n", arguments[i].c_str());
      return 120;
    }
  }
  return 0;
}

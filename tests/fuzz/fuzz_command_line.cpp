// The Windows command-line splitter: any text splits without a fault, and arguments quoted
// the way Windows programs quote them come back exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/processes/posix_processes.hpp"

namespace {

// Quotes one argument as CommandLineToArgvW reads it back: backslashes are literal except
// before a quote, where they are doubled.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + '"';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (ravlin::SplitWindowsCommandLine(text).empty()) std::abort();

  // The input read as arguments separated by NUL; the first is the program, which can hold
  // neither a quote nor a NUL.
  std::vector<std::string> arguments{"prog"};
  std::string current;
  for (const char c : text) {
    if (c == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  arguments.push_back(current);
  std::string commandLine = "\"C:\\Program Files\\prog.exe\"";
  for (std::size_t i = 1; i < arguments.size(); ++i) commandLine += ' ' + Quoted(arguments[i]);
  arguments.front() = "C:\\Program Files\\prog.exe";
  if (ravlin::SplitWindowsCommandLine(commandLine) != arguments) std::abort();
  return 0;
}

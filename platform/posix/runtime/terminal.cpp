#include "platform/backend.hpp"

#include <unistd.h>

namespace ravlin {

bool StandardInputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void AttachToStartingConsole() {}

}  // namespace ravlin

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/backend.hpp"

namespace ravlin {

std::string StartWindowProgram(char** argv) {
  const auto program = PlatformOptions::FromEnvironment().programFolder / "ravlin-gui";
  if (::access(program.c_str(), X_OK) != 0) return program.string() + ": " + std::strerror(errno);
  std::vector<char*> arguments{const_cast<char*>(program.c_str())};
  for (char** argument = argv + 1; *argument != nullptr; ++argument) arguments.push_back(*argument);
  arguments.push_back(nullptr);
  ::execv(program.c_str(), arguments.data());
  return program.string() + ": " + std::strerror(errno);
}

}  // namespace ravlin

#include "platform/posix/terminal.hpp"

#include <unistd.h>

namespace ravlin {

bool StandardInputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace ravlin

#include "platform/backend.hpp"

#include <unistd.h>

namespace ravlin {

bool StandardInputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace ravlin

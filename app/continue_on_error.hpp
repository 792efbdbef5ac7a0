#pragma once

#include <utility>

#include "platform/runtime_error.hpp"

namespace ravlin {

// Runs one step of a procedure that continues on error: a run-time error abandons the
// step without a message, and the caller goes on with its next step. Any other exception
// is a fault in the program, not a failure the procedure expects, and passes on.
template <typename Step>
void ContinueOnError(Step&& step) {
  try {
    std::forward<Step>(step)();
  } catch (const RuntimeError&) {
    // The step is abandoned; the procedure carries on.
  }
}

}  // namespace ravlin

#pragma once

#include <exception>
#include <utility>

namespace ravlin {

// Runs one step of a procedure that continues on error: a run-time error abandons the
// step without a message, and the caller goes on with its next step.
template <typename Step>
void ContinueOnError(Step&& step) {
  try {
    std::forward<Step>(step)();
  } catch (const std::exception&) {
    // The step is abandoned; the procedure carries on.
  }
}

}  // namespace ravlin

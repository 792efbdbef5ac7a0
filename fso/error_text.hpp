#pragma once

#include <string>

#include "platform/runtime_error.hpp"

namespace ravlin {

// The first line of the toolkit's error boxes: "Error: ", the number, two blanks and the
// description.
std::string ErrorLine(const RuntimeError& error);

}  // namespace ravlin

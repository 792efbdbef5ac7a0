#pragma once

#include <cstdint>
#include <string>

#include "platform/environment.hpp"

namespace ravlin {

// What a status number that a message box shows means and what the user can do about it on
// this system, as one plain line ("Status 1015: ..."), or "" for a number without an
// explanation. The boxes keep their texts; each front end shows this line its own way after
// the box.
std::string StatusExplanation(Environment& environment, std::int32_t status);

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ravlin {

// What a status number means and what the user can do about it.
struct StatusAdviceLine {
  std::int32_t status;
  std::string_view text;
};

// The advice for `status`: the machine's own line when `machineLines` has one (the steps
// differ between systems), else the line every system shares, else "".
std::string AdviceFor(std::span<const StatusAdviceLine> machineLines, std::int32_t status);

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace ravlin::testing {

// What libhivex reads in a hive, one digest per key below the root (e.g. "ControlSet001"),
// over every key name, value name, type and data beneath it; times of change are left out.
// Nothing when libhivex cannot open the hive or walk it to its end.
std::optional<std::map<std::string, std::uint64_t>> HiveDigests(const std::filesystem::path& file);

}  // namespace ravlin::testing

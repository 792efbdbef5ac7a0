#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/registry/owned_handles.hpp"

namespace ravlin {

// Windows' limits for a key name and a value name, in UTF-16 units.
inline constexpr std::size_t kLongestKeyName = 255;
inline constexpr std::size_t kLongestValueName = 16383;

// A value's type and data exactly as stored (strings in UTF-16LE): 0 or the query's status.
std::int32_t QueryStoredValue(HKEY__* key, const std::wstring& name, std::uint32_t& type,
                              std::vector<std::uint8_t>& data);

}  // namespace ravlin

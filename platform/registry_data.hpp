#pragma once

#include <cstdint>
#include <vector>

namespace ravlin {

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: the types the A calls convert.
bool IsRegistryStringType(std::uint32_t type);

// How RegQueryValueExA hands out a value found stored as `storedType` and `stored`: string
// types converted from UTF-16LE to the ANSI code page, every character (NULs included; an odd
// last byte is no character and is dropped), other types as stored. The type goes to `type`,
// the size of what is handed out to `*dataSize`, the data into `data` when it has room (234
// otherwise); with `data` null only the size.
std::int32_t HandOutQueriedValue(std::uint32_t storedType, const std::vector<std::uint8_t>& stored,
                                 std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize);

// The same for RegQueryValueExW: the data exactly as stored, whatever their type.
std::int32_t HandOutStoredValue(std::uint32_t storedType, const std::vector<std::uint8_t>& stored,
                                std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize);

}  // namespace ravlin

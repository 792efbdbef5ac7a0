#pragma once

#include <cstdint>
#include <span>

namespace ravlin {

// Microsoft's Marvin32 hash with its 64-bit result (the low state word in the low half), as
// the new-format transaction logs store it. The seed's low half is the first state word.
std::uint64_t Marvin32(std::span<const std::uint8_t> data, std::uint64_t seed);

}  // namespace ravlin

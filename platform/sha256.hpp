#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace ravlin {

// The SHA-256 digest of `data` as 64 lower-case hexadecimal digits (FIPS 180-4).
std::string Sha256Hex(std::span<const std::uint8_t> data);
std::string Sha256Hex(const std::string& data);

}  // namespace ravlin

#include "platform/sha256.hpp"

namespace ravlin {

std::string HexDigits(const std::array<std::uint8_t, 32>& digest) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

void Sha256::Add(std::string_view data) {
  Add(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

std::string Sha256Hex(std::span<const std::uint8_t> data) {
  Sha256 digest;
  digest.Add(data);
  return digest.Hex();
}

std::string Sha256Hex(const std::string& data) {
  return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

}  // namespace ravlin

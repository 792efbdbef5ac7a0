#include "platform/marvin32.hpp"

#include <bit>

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

void Mix(std::uint32_t& low, std::uint32_t& high) {
  high ^= low;
  low = std::rotl(low, 20);
  low += high;
  high = std::rotl(high, 9);
  high ^= low;
  low = std::rotl(low, 27);
  low += high;
  high = std::rotl(high, 19);
}

}  // namespace

std::uint64_t Marvin32(std::span<const std::uint8_t> data, std::uint64_t seed) {
  auto low = static_cast<std::uint32_t>(seed);
  auto high = static_cast<std::uint32_t>(seed >> 32);
  std::size_t at = 0;
  for (; data.size() - at >= 4; at += 4) {
    low += ReadLe32(data, at);
    Mix(low, high);
  }
  // The last 0 to 3 bytes, closed by a 0x80 byte.
  std::uint32_t last = 0x80;
  for (std::size_t i = data.size(); i > at; --i) last = (last << 8) | data[i - 1];
  low += last;
  Mix(low, high);
  Mix(low, high);
  return (std::uint64_t{high} << 32) | low;
}

}  // namespace ravlin

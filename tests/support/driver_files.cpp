#include "tests/support/driver_files.hpp"

#include <algorithm>
#include <cstdint>

#include "platform/text_bytes.hpp"

namespace ravlin::testing {
namespace {

void Put16(std::string& image, std::size_t at, std::uint16_t value) {
  std::ranges::copy(Le16Bytes(value), image.begin() + static_cast<std::ptrdiff_t>(at));
}

void Put32(std::string& image, std::size_t at, std::uint32_t value) {
  std::ranges::copy(Le32Bytes(value), image.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::string DriverImage(const std::string& tag, bool native) {
  constexpr std::size_t kPe = 0x40;
  constexpr std::size_t kOptional = kPe + 24;
  std::string image(0x200, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPe);
  Put32(image, kPe, 0x00004550);
  Put16(image, kPe + 4, 0x14C);    // i386
  Put16(image, kPe + 20, 224);     // optional header size
  Put16(image, kPe + 22, 0x0102);  // executable, 32-bit
  Put16(image, kOptional, 0x10B);  // PE32
  Put16(image, kOptional + 68, native ? 1 : 2);
  Put32(image, kOptional + 92, 16);
  return image + tag;
}

}  // namespace ravlin::testing

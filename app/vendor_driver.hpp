#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/inf_driver.hpp"

namespace ravlin {

// A vendor's mass-storage driver, read and checked before the guest is touched: what the
// INF (and txtsetup.oem) install, and the driver file's bytes.
struct VendorDriverPlan {
  std::string folder;   // the driver's folder, as given
  std::string infFile;  // the INF used, in that folder
  InfDriver driver;     // its hardware IDs completed from txtsetup.oem
  std::string imageSource;
  std::vector<std::uint8_t> image;
  std::string fileName;  // the .sys name below system32\drivers
};

// The tag list of a load-order group as Control\GroupOrderList stores it (a count, then the
// tags, each a little-endian DWORD) with `tag` in it: appended when missing. Damaged data
// (too short for its count) is read as far as it goes.
std::vector<std::uint8_t> GroupOrderWithTag(const std::vector<std::uint8_t>& list,
                                            std::uint32_t tag);
// A tag no service of the group has yet: one more than the largest in the list, at least 1.
std::uint32_t NewGroupTag(const std::vector<std::uint8_t>& list);
// Whether the list holds `tag`.
bool GroupOrderHasTag(const std::vector<std::uint8_t>& list, std::uint32_t tag);

// The PE machine each architecture's drivers are built for.
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

}  // namespace ravlin

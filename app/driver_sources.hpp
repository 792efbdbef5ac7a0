#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"

namespace ravlin {

// Drivers are a few hundred KiB; a file larger than this is no driver and is not read.
inline constexpr std::uint64_t kLargestDriverFile = std::uint64_t{64} << 20;

// A driver file found in one of the guest's own copies, already checked to be a driver.
struct DriverCandidate {
  std::string source;  // the file or cabinet it came from
  std::vector<std::uint8_t> bytes;
};

struct DriverSearch {
  std::optional<DriverCandidate> found;
  // One line for each copy that was there but unusable (damaged, or no driver), in order.
  std::vector<std::string> skipped;
};

// Where a Windows installation keeps copies of its drivers, in the order they are taken: the
// service pack's plain files, the driver cabinets from the newest service pack down to the
// release's driver.cab, the protected-file cache, and then `installationSource` (an
// installation CD's I386 folder, "" for none) with its plain, compressed and cabinet forms.
// Names are matched ignoring case.
DriverSearch FindDriverCopy(Platform& platform, const std::string& guest,
                            std::string_view driverFile, const std::string& installationSource);

}  // namespace ravlin

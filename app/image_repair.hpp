#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/disk_images.hpp"
#include "platform/platform.hpp"

namespace ravlin {

struct ImageRepairRequest {
  std::filesystem::path image;
  // The image is opened read-only and only the attempt's scratch copy of the hive changes.
  bool dryRun = false;
  bool topLayerOnly = false;
  std::optional<int> partition;
};

// A Windows installation found on one of the image's partitions.
struct WindowsCandidate {
  int partition = 0;
  std::filesystem::path folder;  // below the partition's root, as the volume spells it
};

// What the image workflow asks of the front end.
struct ImageRepairSteps {
  // Which of several installations to repair (an index into the list), or nothing when no
  // one can answer.
  std::function<std::optional<std::size_t>(const std::vector<WindowsCandidate>&)> choose;
  // One attempt on the mounted Windows folder: 0 when it completed.
  std::function<int(const std::filesystem::path& windowsFolder)> repairFolder;
};

inline constexpr int kImageRepairCompleted = 0;
inline constexpr int kImageRepairFailed = 1;

// The repair of a virtual machine's disk image in place: opens the image, finds the
// partition that holds Windows, mounts it, runs the attempt on its Windows folder, unmounts
// and closes it; after a repair, reopens the image read-only, reads the hive back and runs
// the format's own check. Each step prints a status line to `out`, with its time once done;
// a refusal or failure prints its reason. Returns 0 only when all of it succeeded.
int RepairImage(const Platform& platform, DiskImages& images, const ImageRepairRequest& request,
                const ImageRepairSteps& steps, std::ostream& out);

}  // namespace ravlin

#include "app/image_repair.hpp"

#include <chrono>
#include <cstdio>
#include <iomanip>
#include <ostream>

#include "app/image_windows.hpp"

namespace ravlin {
namespace {

// Prints a step's status line when it starts and its time when it ends.
class Step {
 public:
  Step(std::ostream& out, const std::string& status)
      : out_(out), start_(std::chrono::steady_clock::now()) {
    out_ << "Image: " << status << "\n" << std::flush;
  }
  Step(const Step&) = delete;
  Step& operator=(const Step&) = delete;
  ~Step() {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
    out_ << "Image: done in " << std::fixed << std::setprecision(2) << took.count() << " s\n"
         << std::defaultfloat << std::flush;
  }

 private:
  std::ostream& out_;
  std::chrono::steady_clock::time_point start_;
};

std::vector<WindowsCandidate> FindCandidates(OpenedImage& image, std::optional<int> wanted) {
  std::vector<WindowsCandidate> candidates;
  for (const auto& partition : image.Partitions()) {
    if (wanted && partition.number != *wanted) continue;
    if (partition.fileSystem != "ntfs") continue;
    const auto volume = image.Mount(partition.number, false);
    for (const auto& folder : FindWindowsFolders(volume->Root()))
      candidates.push_back({partition.number, folder.lexically_relative(volume->Root())});
    volume->Unmount();
  }
  return candidates;
}

// Why no partition offers Windows: a FAT partition may hold one, which Ravlin does not mount.
[[noreturn]] void NoWindowsFound(const OpenedImage& image, std::optional<int> wanted) {
  for (const auto& partition : image.Partitions())
    if (partition.fileSystem == "vfat" && (!wanted || partition.number == *wanted))
      throw DiskImageError("Partition " + std::to_string(partition.number) +
                           " holds a FAT file system, which Ravlin does not mount: mount it "
                           "yourself and give its Windows folder with --guest");
  if (wanted)
    throw DiskImageError("partition " + std::to_string(*wanted) + " holds no Windows installation");
  throw DiskImageError(
      "no partition of the image holds a Windows installation "
      "(system32\\config\\system)");
}

// The repair's work is in the hive: it opens as a hive, and after a completed repair the
// current control set has the standard IDE channel's critical device entry.
bool HiveReadsBack(const Platform& platform, const std::filesystem::path& hive, bool repaired) {
  const std::string file = platform.drives->ToDrivePath(hive);
  const auto current = platform.hiveReader->ReadValue(file, "Select", "Current");
  if (!current || current->data.size() != 4) return false;
  if (!repaired) return true;
  char controlSet[32];
  std::snprintf(controlSet, sizeof controlSet, "ControlSet%03u",
                static_cast<unsigned>(current->data[0] | current->data[1] << 8));
  return platform.hiveReader->KeyExists(
      file, std::string(controlSet) + "\\Control\\CriticalDeviceDatabase\\primary_ide_channel");
}

void ReadBack(const Platform& platform, DiskImages& images, const ImageRepairRequest& request,
              const WindowsCandidate& chosen, bool repaired, std::ostream& out) {
  {
    Step step(out, "reading the repaired hive back from the image");
    const auto image = images.Open({request.image, false, request.topLayerOnly});
    {
      const auto volume = image->Mount(chosen.partition, false);
      const auto folder = FindIgnoringCase(volume->Root(), chosen.folder);
      const auto hive = FindIgnoringCase(folder, "system32/config/system");
      if (hive.empty() || !HiveReadsBack(platform, hive, repaired))
        throw DiskImageError("the hive read back from the image is not the repaired one");
      volume->Unmount();
    }
    image->Close();
  }
  Step step(out, "checking the image (qemu-img check)");
  if (images.Check(request.image))
    out << "Image: qemu-img check found no errors\n";
  else
    out << "Image: this image format has no check of its own\n";
}

}  // namespace

int RepairImage(const Platform& platform, DiskImages& images, const ImageRepairRequest& request,
                const ImageRepairSteps& steps, std::ostream& out) {
  try {
    std::unique_ptr<OpenedImage> image;
    {
      Step step(out, "opening the image " + request.image.string());
      image = images.Open({request.image, !request.dryRun, request.topLayerOnly});
    }
    std::vector<WindowsCandidate> candidates;
    {
      Step step(out, "finding the partition that holds Windows");
      candidates = FindCandidates(*image, request.partition);
    }
    if (candidates.empty()) NoWindowsFound(*image, request.partition);
    std::size_t chosen = 0;
    if (candidates.size() > 1) {
      const auto answer = steps.choose(candidates);
      if (!answer || *answer >= candidates.size())
        throw DiskImageError("several partitions hold Windows; choose one with --partition N");
      chosen = *answer;
    }
    const WindowsCandidate& candidate = candidates[chosen];
    int result = kImageRepairFailed;
    {
      std::unique_ptr<MountedVolume> volume;
      {
        Step step(out, "mounting partition " + std::to_string(candidate.partition));
        volume = image->Mount(candidate.partition, !request.dryRun);
      }
      {
        Step step(out, "repairing " + candidate.folder.string() + " on partition " +
                           std::to_string(candidate.partition));
        result = steps.repairFolder(FindIgnoringCase(volume->Root(), candidate.folder));
      }
      Step step(out, "closing the image");
      volume->Unmount();
      volume.reset();
      image->Close();
      image.reset();
    }
    if (!request.dryRun)
      ReadBack(platform, images, request, candidate, result == kImageRepairCompleted, out);
    return result;
  } catch (const std::exception& error) {
    // The image engine's refusals, and a file system or engine answer that went wrong.
    out << "ravlin: " << error.what() << "\n";
    return kImageRepairFailed;
  }
}

}  // namespace ravlin

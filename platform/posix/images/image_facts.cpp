#include "platform/posix/images/image_facts.hpp"

#include <nlohmann/json.hpp>

#include "platform/disk_images.hpp"
#include "platform/posix/images/child_process.hpp"

namespace ravlin {

ImageFacts ReadImageFacts(const std::filesystem::path& image) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(image, error))
    throw DiskImageError(image.string() + " is no image file" +
                         (error ? ": " + error.message() : std::string()));
  const auto info =
      RunToEnd({"qemu-img", "info", "--output=json", image.string()}, std::chrono::seconds(60));
  if (info.exitCode != 0) {
    if (info.errors.find("lock") != std::string::npos)
      throw DiskImageError(
          image.string() +
          " is in use by another program (is its virtual machine running?): " + info.errors);
    throw DiskImageError("qemu-img cannot read " + image.string() + ": " + info.errors);
  }
  const auto facts = nlohmann::json::parse(info.output, nullptr, false);
  if (!facts.is_object() || !facts.contains("format"))
    throw DiskImageError("qemu-img gave no format for " + image.string());
  ImageFacts result;
  result.format = facts.value("format", "");
  result.backingFile = facts.value("backing-filename", "");
  result.encrypted = facts.value("encrypted", false);
  return result;
}

}  // namespace ravlin

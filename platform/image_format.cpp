#include "platform/image_format.hpp"

#include <array>
#include <fstream>
#include <string_view>

#include "platform/disk_images.hpp"

namespace ravlin {
namespace {

// Each format's signature and where it lies: qcow2 and VHDX at the start, VMDK's sparse
// header or its text descriptor at the start, VDI's magic number after its 64-byte banner.
// A dynamic VHD copies its footer to the start; a fixed one has it only at the end.
constexpr std::string_view kQcowMagic = "QFI\xfb";
constexpr std::string_view kVhdxMagic = "vhdxfile";
constexpr std::string_view kVmdkSparseMagic = "KDMV";
constexpr std::string_view kVmdkDescriptor = "# Disk DescriptorFile";
constexpr std::string_view kVdiMagic = "\x7f\x10\xda\xbe";
constexpr std::size_t kVdiMagicOffset = 0x40;
constexpr std::string_view kVhdCookie = "conectix";
constexpr std::size_t kVhdFooterSize = 512;

}  // namespace

ImageFormat DetectImageFormat(const std::filesystem::path& image) {
  std::ifstream file(image, std::ios::binary);
  std::error_code error;
  const auto size = std::filesystem::file_size(image, error);
  if (!file || error) throw DiskImageError("the disk image " + image.string() + " cannot be read");
  std::array<char, 512> head{};
  file.read(head.data(), head.size());
  const std::string_view start(head.data(), static_cast<std::size_t>(file.gcount()));
  const auto holdsAt = [&](std::string_view magic, std::size_t offset) {
    return start.size() >= offset + magic.size() && start.substr(offset, magic.size()) == magic;
  };
  if (holdsAt(kQcowMagic, 0)) return ImageFormat::kQcow2;
  if (holdsAt(kVhdxMagic, 0)) return ImageFormat::kVhdx;
  if (holdsAt(kVmdkSparseMagic, 0) || holdsAt(kVmdkDescriptor, 0)) return ImageFormat::kVmdk;
  if (holdsAt(kVdiMagic, kVdiMagicOffset)) return ImageFormat::kVdi;
  if (holdsAt(kVhdCookie, 0)) return ImageFormat::kVhd;
  if (size >= kVhdFooterSize) {
    std::array<char, kVhdCookie.size()> footer{};
    file.clear();
    file.seekg(static_cast<std::streamoff>(size - kVhdFooterSize));
    file.read(footer.data(), footer.size());
    if (file && std::string_view(footer.data(), footer.size()) == kVhdCookie)
      return ImageFormat::kVhd;
  }
  return ImageFormat::kRaw;
}

const char* ImageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kQcow2:
      return "qcow2";
    case ImageFormat::kVmdk:
      return "VMDK";
    case ImageFormat::kVhd:
      return "VHD";
    case ImageFormat::kVhdx:
      return "VHDX";
    case ImageFormat::kVdi:
      return "VDI";
    case ImageFormat::kRaw:
      break;
  }
  return "raw";
}

}  // namespace ravlin

#pragma once

#include <filesystem>

namespace ravlin {

// The formats of virtual machine disk images.
enum class ImageFormat { kRaw, kQcow2, kVmdk, kVhd, kVhdx, kVdi };

// The format of `image` as its content shows, whatever the file is called; a file no format
// claims is a raw disk. Throws DiskImageError when the file cannot be read.
ImageFormat DetectImageFormat(const std::filesystem::path& image);

// The format's usual name: "raw", "qcow2", "VMDK", "VHD", "VHDX", "VDI".
const char* ImageFormatName(ImageFormat format);

}  // namespace ravlin

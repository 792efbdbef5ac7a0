#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/disk_images.hpp"
#include "platform/image_format.hpp"
#include "platform/win32/images/virtual_disk_api.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/win32_handles.hpp"

namespace ravlin {

// A DiskImageError saying that `what` failed, with the system's words for `code`.
DiskImageError SystemImageError(const std::string& what, DWORD code);

class AttachedDisk;

// VirtDisk.dll of the system folder (Windows 7 and later), looked up at run time so that the
// program still starts where it is missing.
class VirtualDiskLibrary : public std::enable_shared_from_this<VirtualDiskLibrary> {
 public:
  VirtualDiskLibrary();

  // Why this Windows cannot attach images, or empty when it can.
  std::string Unavailable() const;
  // Opens a VHD or VHDX image and attaches it without a drive letter, read-only unless
  // `writable`. Refuses, before attaching, an image another program has open and a
  // differencing disk unless `topLayerOnly` (its parents are then opened read-only).
  std::unique_ptr<AttachedDisk> Attach(const std::filesystem::path& image, ImageFormat format,
                                       bool writable, bool topLayerOnly);

 private:
  friend class AttachedDisk;
  UniqueHandle OpenImage(const std::filesystem::path& image, ImageFormat format,
                         bool writable) const;
  void RefuseDifferencing(HANDLE disk, const std::filesystem::path& image) const;

  SystemLibrary library_;
  virtdisk::OpenVirtualDiskCall open_;
  virtdisk::AttachVirtualDiskCall attach_;
  virtdisk::DetachVirtualDiskCall detach_;
  virtdisk::GetVirtualDiskPhysicalPathCall physicalPath_;
  virtdisk::GetVirtualDiskInformationCall information_;
  // VHDX came with Windows 8, as did this call.
  bool opensVhdx_;
};

// An image attached as a disk of this machine until Detach() or the object goes.
class AttachedDisk {
 public:
  AttachedDisk(std::shared_ptr<const VirtualDiskLibrary> library, UniqueHandle disk);
  AttachedDisk(const AttachedDisk&) = delete;
  AttachedDisk& operator=(const AttachedDisk&) = delete;
  ~AttachedDisk();

  // "\\.\PhysicalDriveN", the disk the image became.
  std::wstring PhysicalPath() const;
  // Detaches the disk, so that every write is in the image file; throws DiskImageError when
  // the system refuses.
  void Detach();

 private:
  std::shared_ptr<const VirtualDiskLibrary> library_;
  UniqueHandle disk_;
};

}  // namespace ravlin

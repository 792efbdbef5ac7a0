#include "platform/win32/images/virtual_disk.hpp"

#include <vector>

#include "platform/win32/images/kernel32_calls.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

std::string SystemMessage(DWORD code) {
  if (Kernel32().formatMessage == nullptr) return {};
  wchar_t* text = nullptr;
  const DWORD length = Kernel32().formatMessage(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length != 0 ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                              message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  return Narrow(message);
}

}  // namespace

DiskImageError SystemImageError(const std::string& what, DWORD code) {
  const std::string message = SystemMessage(code);
  return DiskImageError(what + ": " + (message.empty() ? "system error" : message) + " (error " +
                        std::to_string(code) + ")");
}

VirtualDiskLibrary::VirtualDiskLibrary()
    : library_(L"virtdisk.dll"),
      open_(library_.Find<virtdisk::OpenVirtualDiskCall>("OpenVirtualDisk")),
      attach_(library_.Find<virtdisk::AttachVirtualDiskCall>("AttachVirtualDisk")),
      detach_(library_.Find<virtdisk::DetachVirtualDiskCall>("DetachVirtualDisk")),
      physicalPath_(
          library_.Find<virtdisk::GetVirtualDiskPhysicalPathCall>("GetVirtualDiskPhysicalPath")),
      information_(
          library_.Find<virtdisk::GetVirtualDiskInformationCall>("GetVirtualDiskInformation")),
      opensVhdx_(library_.Find<FARPROC>("ResizeVirtualDisk") != nullptr) {}

std::string VirtualDiskLibrary::Unavailable() const {
  if (!Kernel32().Complete())
    return "this Windows lacks the volume calls that attaching disk images needs";
  if (!library_.Loaded())
    return "this Windows has no VirtDisk.dll, which attaches disk images (Windows 7 and later)";
  if (open_ == nullptr || attach_ == nullptr || detach_ == nullptr || physicalPath_ == nullptr ||
      information_ == nullptr)
    return "this Windows's VirtDisk.dll cannot attach disk images";
  return {};
}

UniqueHandle VirtualDiskLibrary::OpenImage(const std::filesystem::path& image, ImageFormat format,
                                           bool writable) const {
  virtdisk::StorageType type{
      format == ImageFormat::kVhdx ? virtdisk::kDeviceVhdx : virtdisk::kDeviceVhd,
      virtdisk::kVendorMicrosoft};
  virtdisk::OpenParameters parameters{};
  DWORD access = virtdisk::kAccessNone;
  if (format == ImageFormat::kVhdx) {
    // VHDX opens only with version 2, whose handle may do everything the open allows.
    parameters.version = 2;
    parameters.version2.readOnly = writable ? FALSE : TRUE;
  } else {
    parameters.version = 1;
    parameters.version1.rwDepth = 1;
    access = virtdisk::kAccessGetInfo | virtdisk::kAccessDetach |
             (writable ? virtdisk::kAccessAttachReadWrite : virtdisk::kAccessAttachReadOnly);
  }
  HANDLE handle = nullptr;
  const DWORD result = open_(&type, image.c_str(), access, 0, &parameters, &handle);
  if (result == ERROR_SUCCESS) return UniqueHandle(handle);
  const std::string name = image.string();
  if (result == ERROR_SHARING_VIOLATION)
    throw DiskImageError("another program has the disk image " + name +
                         " open (a running virtual machine?); close it first");
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
    throw DiskImageError("the disk image " + name + " does not exist");
  throw SystemImageError("Windows cannot open the disk image " + name, result);
}

void VirtualDiskLibrary::RefuseDifferencing(HANDLE disk, const std::filesystem::path& image) const {
  virtdisk::DiskInfo subtype{};
  subtype.version = virtdisk::kInfoProviderSubtype;
  ULONG size = sizeof subtype;
  if (const DWORD result = information_(disk, &size, &subtype, nullptr); result != ERROR_SUCCESS)
    throw SystemImageError("Windows cannot read the kind of the disk image " + image.string(),
                           result);
  if (subtype.providerSubtype != virtdisk::kSubtypeDifferencing) return;
  // The parent's path follows the header; a buffer of whole DiskInfo keeps it aligned.
  std::vector<virtdisk::DiskInfo> buffer(64);
  buffer[0].version = virtdisk::kInfoParentLocation;
  size = static_cast<ULONG>(buffer.size() * sizeof(virtdisk::DiskInfo));
  std::string parent = "its parent disk";
  if (information_(disk, &size, buffer.data(), nullptr) == ERROR_SUCCESS) {
    const wchar_t* location = buffer[0].parentLocation.parentLocationBuffer;
    const auto* end = reinterpret_cast<const wchar_t*>(buffer.data() + buffer.size());
    std::size_t length = 0;
    while (location + length < end && location[length] != L'\0') ++length;
    if (length != 0) parent = Narrow(std::wstring_view(location, length));
  }
  throw DiskImageError(
      "the disk image " + image.string() + " is a differencing disk whose data lies partly in " +
      parent + "; repair only this layer with --image-top-layer (its parent is never written)");
}

std::unique_ptr<AttachedDisk> VirtualDiskLibrary::Attach(const std::filesystem::path& image,
                                                         ImageFormat format, bool writable,
                                                         bool topLayerOnly) {
  if (const std::string why = Unavailable(); !why.empty())
    throw DiskImageError(why + "; attach " + image.string() +
                         " yourself and give Ravlin its Windows folder");
  if (format == ImageFormat::kVhdx && !opensVhdx_)
    throw DiskImageError(image.string() +
                         " is a VHDX image, which Windows opens from Windows 8 on; convert it "
                         "to VHD (qemu-img convert -O vpc) or repair it with Ravlin on Linux");
  UniqueHandle disk = OpenImage(image, format, writable);
  if (!topLayerOnly) RefuseDifferencing(disk.Get(), image);
  virtdisk::AttachParameters parameters{1, 0};
  const DWORD flags = virtdisk::kAttachNoDriveLetter | (writable ? 0 : virtdisk::kAttachReadOnly);
  const DWORD result = attach_(disk.Get(), nullptr, flags, 0, &parameters, nullptr);
  if (result == ERROR_PRIVILEGE_NOT_HELD || result == ERROR_ACCESS_DENIED)
    throw DiskImageError("attaching the disk image " + image.string() +
                         " needs an administrator: start Ravlin with \"Run as administrator\"");
  if (result != ERROR_SUCCESS)
    throw SystemImageError("Windows cannot attach the disk image " + image.string(), result);
  return std::make_unique<AttachedDisk>(shared_from_this(), std::move(disk));
}

AttachedDisk::AttachedDisk(std::shared_ptr<const VirtualDiskLibrary> library, UniqueHandle disk)
    : library_(std::move(library)), disk_(std::move(disk)) {}

AttachedDisk::~AttachedDisk() {
  // Closing the handle detaches the disk as well; detaching first lets it happen now.
  if (disk_.Valid()) library_->detach_(disk_.Get(), 0, 0);
}

std::wstring AttachedDisk::PhysicalPath() const {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    ULONG bytes = static_cast<ULONG>(path.size() * sizeof(wchar_t));
    const DWORD result = library_->physicalPath_(disk_.Get(), &bytes, path.data());
    if (result == ERROR_SUCCESS) return std::wstring(path.data());
    if (result != ERROR_INSUFFICIENT_BUFFER)
      throw SystemImageError("Windows does not name the disk the image became", result);
    path.resize(bytes / sizeof(wchar_t) + 1);
  }
}

void AttachedDisk::Detach() {
  if (!disk_.Valid()) return;
  if (const DWORD result = library_->detach_(disk_.Get(), 0, 0); result != ERROR_SUCCESS)
    throw SystemImageError("Windows cannot detach the disk image", result);
  disk_.Close();
}

}  // namespace ravlin

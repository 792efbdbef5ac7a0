#include "platform/pe_version.hpp"

#include <algorithm>
#include <optional>

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kNativeSubsystem = 1;
constexpr std::uint64_t kSubsystemOffset = 68;  // in the optional header, PE32 and PE32+
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
// "VS_VERSION_INFO" in UTF-16 with its NUL.
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";

// Little-endian reads that fail instead of leaving the bytes.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}

  std::optional<std::uint16_t> U16(std::uint64_t offset) const {
    if (!Fits(offset, 2)) return std::nullopt;
    return ReadLe16(data_, offset);
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) const {
    if (!Fits(offset, 4)) return std::nullopt;
    return ReadLe32(data_, offset);
  }
  bool Fits(std::uint64_t offset, std::uint64_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }

 private:
  std::span<const std::uint8_t> data_;
};

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t virtualSize;
  std::uint32_t rawOffset;
  std::uint32_t rawSize;
};

// The file offset of a relative virtual address, through the section that holds it.
class AddressMap {
 public:
  AddressMap(const Bytes& bytes, std::uint64_t sectionTable, std::uint16_t count)
      : bytes_(bytes), sectionTable_(sectionTable), count_(count) {}

  std::optional<std::uint64_t> FileOffset(std::uint32_t rva, std::uint32_t length) const {
    for (std::uint16_t i = 0; i < count_; ++i) {
      const std::uint64_t header = sectionTable_ + std::uint64_t{i} * kSectionHeaderSize;
      const auto virtualSize = bytes_.U32(header + 8);
      const auto virtualAddress = bytes_.U32(header + 12);
      const auto rawSize = bytes_.U32(header + 16);
      const auto rawOffset = bytes_.U32(header + 20);
      if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) return std::nullopt;
      const std::uint64_t extent = std::max(*virtualSize, *rawSize);
      if (rva < *virtualAddress || std::uint64_t{rva} - *virtualAddress >= extent) continue;
      const std::uint64_t into = std::uint64_t{rva} - *virtualAddress;
      // The data must lie in the part of the section that the file holds.
      if (into + length > *rawSize) return std::nullopt;
      const std::uint64_t offset = std::uint64_t{*rawOffset} + into;
      if (!bytes_.Fits(offset, length)) return std::nullopt;
      return offset;
    }
    return std::nullopt;
  }

 private:
  const Bytes& bytes_;
  std::uint64_t sectionTable_;
  std::uint16_t count_;
};

// The target of the entry of a resource directory with the given identifier (or of its first
// entry when `id` is nothing): an offset from the start of the resource section, with the
// high bit set when it names a subdirectory.
std::optional<std::uint32_t> FindEntry(const Bytes& bytes, std::uint64_t resourceBase,
                                       std::uint32_t resourceSize, std::uint32_t directory,
                                       std::optional<std::uint32_t> id) {
  if (std::uint64_t{directory} + kResourceDirectorySize > resourceSize) return std::nullopt;
  const std::uint64_t at = resourceBase + directory;
  const auto named = bytes.U16(at + 12);
  const auto numbered = bytes.U16(at + 14);
  if (!named || !numbered) return std::nullopt;
  const std::uint32_t entries = std::uint32_t{*named} + *numbered;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint64_t entryOffset =
        std::uint64_t{directory} + kResourceDirectorySize + std::uint64_t{i} * kResourceEntrySize;
    if (entryOffset + kResourceEntrySize > resourceSize) return std::nullopt;
    const auto name = bytes.U32(resourceBase + entryOffset);
    const auto target = bytes.U32(resourceBase + entryOffset + 4);
    if (!name || !target) return std::nullopt;
    if (!id || ((*name & kHighBit) == 0 && *name == *id)) return *target;
  }
  return std::nullopt;
}

std::string VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
  return std::to_string(mostSignificant >> 16) + "." + std::to_string(mostSignificant & 0xFFFF) +
         "." + std::to_string(leastSignificant >> 16) + "." +
         std::to_string(leastSignificant & 0xFFFF);
}

// VS_VERSIONINFO: length, value length, type, the key, padding to 32 bits, then the fixed
// file information that starts with its signature.
std::string FixedFileVersion(const Bytes& bytes, std::uint64_t offset, std::uint32_t size) {
  const auto length = bytes.U16(offset);
  const auto valueLength = bytes.U16(offset + 2);
  if (!length || !valueLength || *length > size || *valueLength < 52) return {};
  std::uint64_t at = offset + 6;
  for (char16_t expected : kVersionKey) {
    const auto c = bytes.U16(at);
    if (!c || *c != expected) return {};
    at += 2;
  }
  at = offset + ((at - offset + 3) & ~std::uint64_t{3});
  if (at + 52 > offset + *length) return {};
  const auto signature = bytes.U32(at);
  const auto versionMs = bytes.U32(at + 8);
  const auto versionLs = bytes.U32(at + 12);
  if (!signature || *signature != kFixedFileInfoSignature || !versionMs || !versionLs) return {};
  return VersionText(*versionMs, *versionLs);
}

// The offset of the optional header of a PE image, after its signature and file header.
std::optional<std::uint64_t> OptionalHeaderOf(const Bytes& bytes) {
  const auto mz = bytes.U16(0);
  const auto peOffset = bytes.U32(0x3C);
  if (!mz || *mz != 0x5A4D || !peOffset) return std::nullopt;
  const auto signature = bytes.U32(*peOffset);
  if (!signature || *signature != kPeSignature) return std::nullopt;
  return std::uint64_t{*peOffset} + 24;
}

}  // namespace

bool PeIsDriverImage(std::span<const std::uint8_t> image) {
  const Bytes bytes(image);
  const auto optionalHeader = OptionalHeaderOf(bytes);
  if (!optionalHeader) return false;
  const auto characteristics = bytes.U16(*optionalHeader - 2);
  const auto optionalSize = bytes.U16(*optionalHeader - 4);
  const auto magic = bytes.U16(*optionalHeader);
  const auto subsystem = bytes.U16(*optionalHeader + kSubsystemOffset);
  if (!characteristics || !optionalSize || !magic || !subsystem) return false;
  if (*magic != kPe32Magic && *magic != kPe32PlusMagic) return false;
  return (*characteristics & kExecutableImage) != 0 && *optionalSize > kSubsystemOffset + 2 &&
         *subsystem == kNativeSubsystem;
}

std::optional<std::uint16_t> PeMachine(std::span<const std::uint8_t> image) {
  const Bytes bytes(image);
  const auto optionalHeader = OptionalHeaderOf(bytes);
  if (!optionalHeader) return std::nullopt;
  // The file header's first field, 20 bytes before the optional header.
  return bytes.U16(*optionalHeader - 20);
}

std::string PeFileVersion(std::span<const std::uint8_t> image) {
  const Bytes bytes(image);
  const auto optionalStart = OptionalHeaderOf(bytes);
  if (!optionalStart) return {};
  const std::uint64_t optionalHeader = *optionalStart;
  const auto sectionCount = bytes.U16(optionalHeader - 18);
  const auto optionalSize = bytes.U16(optionalHeader - 4);
  if (!sectionCount || !optionalSize) return {};
  const auto magic = bytes.U16(optionalHeader);
  if (!magic) return {};
  std::uint64_t directoryCountAt = 0;
  if (*magic == kPe32Magic)
    directoryCountAt = optionalHeader + 92;
  else if (*magic == kPe32PlusMagic)
    directoryCountAt = optionalHeader + 108;
  else
    return {};
  const auto directoryCount = bytes.U32(directoryCountAt);
  if (!directoryCount || *directoryCount <= kResourceDirectoryIndex) return {};
  const std::uint64_t resourceEntry = directoryCountAt + 4 + 8 * kResourceDirectoryIndex;
  if (resourceEntry + 8 > optionalHeader + *optionalSize) return {};
  const auto resourceRva = bytes.U32(resourceEntry);
  const auto resourceSize = bytes.U32(resourceEntry + 4);
  if (!resourceRva || !resourceSize || *resourceRva == 0 || *resourceSize == 0) return {};

  const AddressMap map(bytes, optionalHeader + *optionalSize, *sectionCount);
  const auto resourceBase = map.FileOffset(*resourceRva, *resourceSize);
  if (!resourceBase) return {};

  // Type RT_VERSION, then the first name and the first language below it.
  auto target = FindEntry(bytes, *resourceBase, *resourceSize, 0, kRtVersion);
  for (int level = 0; level < 2; ++level) {
    if (!target || (*target & kHighBit) == 0) return {};
    target = FindEntry(bytes, *resourceBase, *resourceSize, *target & ~kHighBit, std::nullopt);
  }
  if (!target || (*target & kHighBit) != 0) return {};
  if (std::uint64_t{*target} + 16 > *resourceSize) return {};
  const auto dataRva = bytes.U32(*resourceBase + *target);
  const auto dataSize = bytes.U32(*resourceBase + *target + 4);
  if (!dataRva || !dataSize) return {};
  const auto data = map.FileOffset(*dataRva, *dataSize);
  if (!data) return {};
  return FixedFileVersion(bytes, *data, *dataSize);
}

}  // namespace ravlin

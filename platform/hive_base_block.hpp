#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ravlin {

// The base block that starts every hive file and every transaction log, as the published
// registry file format describes it. Offsets are from the start of the file.
namespace hive_base {
inline constexpr std::size_t kSize = 0x1000;
// Logs keep only the first sector of it; the checksum covers less than that.
inline constexpr std::size_t kSector = 512;
inline constexpr std::size_t kPrimarySequence = 0x04;
inline constexpr std::size_t kSecondarySequence = 0x08;
inline constexpr std::size_t kLastWritten = 0x0C;
inline constexpr std::size_t kFileType = 0x1C;
inline constexpr std::size_t kBinsSize = 0x28;
inline constexpr std::size_t kClusteringFactor = 0x2C;
inline constexpr std::size_t kFlags = 0x90;
inline constexpr std::size_t kChecksum = 0x1FC;
// The first bin's header keeps a copy of the last written timestamp.
inline constexpr std::size_t kFirstBinTimestamp = kSize + 0x14;

inline constexpr std::uint32_t kPrimaryFile = 0;
inline constexpr std::uint32_t kOldLog = 1;
// Windows 2000 marked its logs so.
inline constexpr std::uint32_t kOldLogWindows2000 = 2;
inline constexpr std::uint32_t kNewLog = 6;
// Bins come in whole pages of this size.
inline constexpr std::uint32_t kPage = 0x1000;
}  // namespace hive_base

// The fields a recovery looks at, read from the first sector of a base block.
struct BaseBlock {
  bool signature = false;  // "regf"
  bool checksumValid = false;
  std::uint32_t primarySequence = 0;
  std::uint32_t secondarySequence = 0;
  std::uint64_t lastWritten = 0;
  std::uint32_t fileType = 0;
  std::uint32_t binsSize = 0;
  std::uint32_t clusteringFactor = 0;
};

// Nothing is read past `bytes`: fields beyond it stay 0 and the block reads as invalid.
BaseBlock ReadBaseBlock(std::span<const std::uint8_t> bytes);

// The exclusive or of the first 508 bytes taken as 32-bit little-endian numbers.
std::uint32_t BaseBlockXor(std::span<const std::uint8_t> header);
// What Windows stores: the exclusive or, except that it never stores 0 or ~0. libhivex stores
// the plain value, so either passes the check.
bool BaseBlockChecksumValid(std::span<const std::uint8_t> header);

// A hive Windows did not close cleanly: a hive file whose base block has a wrong checksum or two
// different sequence numbers. A file that is no hive is not dirty (other checks refuse it).
bool HiveIsDirty(std::span<const std::uint8_t> hive);

// Marks the base block clean: both sequence numbers set to `sequence`, the checksum made again.
void SealBaseBlock(std::span<std::uint8_t> header, std::uint32_t sequence);

std::uint64_t ReadLe64(std::span<const std::uint8_t> bytes, std::size_t at);
void WriteLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value);

// Whether the hive bins from the end of the base block to `binsSize` follow one another as
// they must: "hbin", their own offset, a size of whole pages that stays inside.
bool HiveBinsSound(std::span<const std::uint8_t> hive, std::uint32_t binsSize);

}  // namespace ravlin

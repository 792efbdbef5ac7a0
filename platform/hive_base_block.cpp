#include "platform/hive_base_block.hpp"

#include "platform/text_bytes.hpp"

namespace ravlin {

std::uint64_t ReadLe64(std::span<const std::uint8_t> bytes, std::size_t at) {
  return std::uint64_t{ReadLe32(bytes, at)} | (std::uint64_t{ReadLe32(bytes, at + 4)} << 32);
}

void WriteLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  const auto le = Le32Bytes(value);
  for (std::size_t i = 0; i < le.size(); ++i) bytes[at + i] = le[i];
}

std::uint32_t BaseBlockXor(std::span<const std::uint8_t> header) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < hive_base::kChecksum; at += 4) sum ^= ReadLe32(header, at);
  return sum;
}

bool BaseBlockChecksumValid(std::span<const std::uint8_t> header) {
  if (header.size() < hive_base::kSector) return false;
  const auto sum = BaseBlockXor(header);
  const auto stored = ReadLe32(header, hive_base::kChecksum);
  return stored == sum || (sum == 0 && stored == 1) || (sum == 0xFFFFFFFF && stored == 0xFFFFFFFE);
}

BaseBlock ReadBaseBlock(std::span<const std::uint8_t> bytes) {
  BaseBlock block;
  if (bytes.size() < hive_base::kSector) return block;
  block.signature = bytes[0] == 'r' && bytes[1] == 'e' && bytes[2] == 'g' && bytes[3] == 'f';
  block.checksumValid = BaseBlockChecksumValid(bytes);
  block.primarySequence = ReadLe32(bytes, hive_base::kPrimarySequence);
  block.secondarySequence = ReadLe32(bytes, hive_base::kSecondarySequence);
  block.lastWritten = ReadLe64(bytes, hive_base::kLastWritten);
  block.fileType = ReadLe32(bytes, hive_base::kFileType);
  block.binsSize = ReadLe32(bytes, hive_base::kBinsSize);
  block.clusteringFactor = ReadLe32(bytes, hive_base::kClusteringFactor);
  return block;
}

bool HiveIsDirty(std::span<const std::uint8_t> hive) {
  const auto block = ReadBaseBlock(hive);
  return block.signature && block.fileType == hive_base::kPrimaryFile &&
         (!block.checksumValid || block.primarySequence != block.secondarySequence);
}

void SealBaseBlock(std::span<std::uint8_t> header, std::uint32_t sequence) {
  WriteLe32(header, hive_base::kPrimarySequence, sequence);
  WriteLe32(header, hive_base::kSecondarySequence, sequence);
  auto sum = BaseBlockXor(header);
  if (sum == 0) sum = 1;
  if (sum == 0xFFFFFFFF) sum = 0xFFFFFFFE;
  WriteLe32(header, hive_base::kChecksum, sum);
}

bool HiveBinsSound(std::span<const std::uint8_t> hive, std::uint32_t binsSize) {
  if (binsSize == 0 || binsSize % hive_base::kPage != 0 ||
      hive.size() < hive_base::kSize + std::size_t{binsSize})
    return false;
  for (std::uint32_t at = 0; at < binsSize;) {
    const auto bin = hive.subspan(hive_base::kSize + at);
    const auto size = ReadLe32(bin, 8);
    if (bin[0] != 'h' || bin[1] != 'b' || bin[2] != 'i' || bin[3] != 'n' ||
        ReadLe32(bin, 4) != at || size == 0 || size % hive_base::kPage != 0 || size > binsSize - at)
      return false;
    at += size;
  }
  return true;
}

}  // namespace ravlin

#include "platform/hive_log_old_format.hpp"

#include <algorithm>
#include <bit>

#include "platform/hive_base_block.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::size_t kDirtyPage = 512;
// One bit of the vector per page; a byte covers this many bytes of bins data.
constexpr std::size_t kBytesPerVectorByte = kDirtyPage * 8;

std::size_t RoundUp(std::size_t value, std::size_t unit) {
  return (value + unit - 1) / unit * unit;
}

// Whether the log is one of this hive's: the last written timestamp of its base block is the
// hive's (the first bin's copy when the hive's own base block is damaged), and its sequence
// number is one of the hive's (Windows up to 2003 wrote the log one number behind the hive,
// later versions with the hive's new number).
std::string BelongsToHive(const BaseBlock& hiveBlock, std::span<const std::uint8_t> hive,
                          const BaseBlock& logBlock) {
  if (hiveBlock.checksumValid) {
    if (logBlock.lastWritten != hiveBlock.lastWritten)
      return "its last written time differs from the hive's: it belongs to another hive";
    if (logBlock.primarySequence != hiveBlock.primarySequence &&
        logBlock.primarySequence != hiveBlock.secondarySequence)
      return "its sequence number " + std::to_string(logBlock.primarySequence) +
             " is none of the hive's (" + std::to_string(hiveBlock.primarySequence) + ", " +
             std::to_string(hiveBlock.secondarySequence) + "): it belongs to another write";
    return {};
  }
  if (hive.size() < hive_base::kFirstBinTimestamp + 8 ||
      ReadLe64(hive, hive_base::kFirstBinTimestamp) != logBlock.lastWritten)
    return "its last written time differs from the hive's first bin: it belongs to another hive";
  return {};
}

}  // namespace

std::string ReplayOldFormatLog(std::vector<std::uint8_t>& hive, std::span<const std::uint8_t> log,
                               HiveLogUse& use) {
  const auto logBlock = ReadBaseBlock(log);
  if (!logBlock.signature) return "it holds no base block";
  if (!logBlock.checksumValid) return "the checksum of its base block is wrong";
  if (logBlock.fileType != hive_base::kOldLog && logBlock.fileType != hive_base::kOldLogWindows2000)
    return "it is no transaction log of the old format (file type " +
           std::to_string(logBlock.fileType) + ")";
  if (logBlock.primarySequence != logBlock.secondarySequence)
    return "its own sequence numbers differ: it was not written to its end";
  const auto factor = logBlock.clusteringFactor;
  if (factor != 1 && factor != 2 && factor != 4 && factor != 8)
    return "its clustering factor " + std::to_string(factor) + " is no sector size";
  const auto bins = logBlock.binsSize;
  if (bins == 0 || bins % hive_base::kPage != 0)
    return "its hive bins data size " + std::to_string(bins) + " is not a whole number of pages";
  const auto hiveBlock = ReadBaseBlock(hive);
  if (const auto foreign = BelongsToHive(hiveBlock, hive, logBlock); !foreign.empty())
    return foreign;

  const std::size_t sector = std::size_t{factor} * hive_base::kSector;
  const std::size_t vectorAt = sector;
  const std::size_t vectorBytes = bins / kBytesPerVectorByte;
  if (log.size() < vectorAt + 4 + vectorBytes) return "its dirty vector is cut short";
  if (log[vectorAt] != 'D' || log[vectorAt + 1] != 'I' || log[vectorAt + 2] != 'R' ||
      log[vectorAt + 3] != 'T')
    return "its dirty vector does not start with \"DIRT\"";
  const auto vector = log.subspan(vectorAt + 4, vectorBytes);
  std::size_t dirty = 0;
  for (const auto byte : vector) dirty += static_cast<std::size_t>(std::popcount(byte));
  const std::size_t pagesAt = RoundUp(vectorAt + 4 + vectorBytes, sector);
  if (log.size() < pagesAt + dirty * kDirtyPage)
    return "its dirty pages are cut short: " + std::to_string(dirty) + " are marked, " +
           std::to_string(log.size() > pagesAt ? (log.size() - pagesAt) / kDirtyPage : 0) +
           " are there";

  // Bins beyond the hive's end can only come from the log's own pages.
  if (hive_base::kSize + std::size_t{bins} > hive.size() + dirty * kDirtyPage)
    return "its hive bins data size " + std::to_string(bins) +
           " reaches beyond the hive and the pages it holds";
  std::vector<std::uint8_t> result = hive;
  result.resize(std::max(result.size(), hive_base::kSize + std::size_t{bins}));
  if (!hiveBlock.checksumValid) {
    std::copy_n(log.begin(), hive_base::kSector, result.begin());
    WriteLe32(result, hive_base::kFileType, hive_base::kPrimaryFile);
  }
  WriteLe32(result, hive_base::kBinsSize, bins);
  std::size_t next = pagesAt;
  for (std::size_t page = 0; page < vectorBytes * 8; ++page) {
    if ((vector[page / 8] >> (page % 8) & 1) == 0) continue;
    std::copy_n(log.begin() + static_cast<std::ptrdiff_t>(next), kDirtyPage,
                result.begin() + static_cast<std::ptrdiff_t>(hive_base::kSize + page * kDirtyPage));
    next += kDirtyPage;
  }
  if (!HiveBinsSound(result, bins)) return "the hive bins it gives are not sound";
  const auto recovered = ReadBaseBlock(result);
  SealBaseBlock(std::span(result).first(hive_base::kSize),
                std::max(recovered.primarySequence, recovered.secondarySequence));
  hive = std::move(result);
  use.pages = dirty;
  return {};
}

}  // namespace ravlin

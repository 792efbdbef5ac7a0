#include "platform/hive_log_new_format.hpp"

#include <algorithm>
#include <optional>

#include "platform/hive_base_block.hpp"
#include "platform/marvin32.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::size_t kEntryHeader = 40;
constexpr std::size_t kEntryAlignment = 512;
constexpr std::size_t kPageReference = 8;
constexpr std::uint32_t kLockedFlag = 0x1;

struct PageReference {
  std::uint32_t offset = 0;  // in the hive bins data
  std::uint32_t size = 0;
  std::size_t at = 0;  // of its data in the log
};

struct LogEntry {
  std::uint32_t sequence = 0;
  std::uint32_t flags = 0;
  std::uint32_t binsSize = 0;
  std::vector<PageReference> pages;
  std::string damage;  // "" for an entry that may be applied
};

struct ParsedLog {
  std::string name;
  std::span<const std::uint8_t> bytes;
  BaseBlock block;
  std::vector<LogEntry> entries;
};

// What is wrong with the entry at `at` ("" when nothing); its references go into `entry`.
std::string CheckEntry(std::span<const std::uint8_t> log, std::size_t at, LogEntry& entry) {
  const auto size = ReadLe32(log, at + 4);
  if (size < kEntryHeader || size % kEntryAlignment != 0) return "its size is no whole sector";
  if (size > log.size() - at) return "it is cut short by the end of the file";
  const auto bytes = log.subspan(at, size);
  if (Marvin32(bytes.subspan(kEntryHeader), kLogEntryHashSeed) != ReadLe64(bytes, 24) ||
      Marvin32(bytes.first(32), kLogEntryHashSeed) != ReadLe64(bytes, 32))
    return "its hash is wrong";
  if (entry.binsSize == 0 || entry.binsSize % hive_base::kPage != 0)
    return "its hive bins data size is not a whole number of pages";
  const auto count = ReadLe32(bytes, 20);
  if (count > (size - kEntryHeader) / kPageReference) return "its page references overrun it";
  std::size_t data = kEntryHeader + std::size_t{count} * kPageReference;
  for (std::uint32_t i = 0; i < count; ++i) {
    PageReference page{ReadLe32(bytes, kEntryHeader + i * kPageReference),
                       ReadLe32(bytes, kEntryHeader + i * kPageReference + 4), at + data};
    if (page.size > size - data) return "its pages overrun it";
    if (page.offset > entry.binsSize || page.size > entry.binsSize - page.offset)
      return "a page lies beyond its hive bins data";
    data += page.size;
    entry.pages.push_back(page);
  }
  return {};
}

// The entries from the second sector on, up to the first sector that starts none; parsing
// stops after a damaged entry, which is kept to be judged by its place in the sequence.
ParsedLog ParseLog(const NewFormatLog& log) {
  ParsedLog parsed{log.name, log.bytes, ReadBaseBlock(log.bytes), {}};
  for (std::size_t at = hive_base::kSector;
       at < log.bytes.size() && log.bytes.size() - at >= kEntryHeader;) {
    const auto header = log.bytes.subspan(at, kEntryHeader);
    if (header[0] != 'H' || header[1] != 'v' || header[2] != 'L' || header[3] != 'E') break;
    LogEntry entry;
    entry.flags = ReadLe32(header, 8);
    entry.sequence = ReadLe32(header, 12);
    entry.binsSize = ReadLe32(header, 16);
    entry.damage = CheckEntry(log.bytes, at, entry);
    const bool damaged = !entry.damage.empty();
    parsed.entries.push_back(std::move(entry));
    if (damaged) break;
    at += ReadLe32(header, 4);
  }
  return parsed;
}

void Apply(std::vector<std::uint8_t>& hive, std::span<const std::uint8_t> log,
           const LogEntry& entry) {
  hive.resize(std::max(hive.size(), hive_base::kSize + std::size_t{entry.binsSize}));
  WriteLe32(hive, hive_base::kBinsSize, entry.binsSize);
  const auto flags = ReadLe32(hive, hive_base::kFlags);
  WriteLe32(hive, hive_base::kFlags, (flags & ~kLockedFlag) | (entry.flags & kLockedFlag));
  for (const auto& page : entry.pages)
    std::copy_n(log.begin() + static_cast<std::ptrdiff_t>(page.at), page.size,
                hive.begin() + static_cast<std::ptrdiff_t>(hive_base::kSize + page.offset));
}

}  // namespace

std::string ReplayNewFormatLogs(std::vector<std::uint8_t>& hive,
                                const std::vector<NewFormatLog>& logs,
                                std::vector<HiveLogUse>& uses) {
  const auto hiveBlock = ReadBaseBlock(hive);
  std::vector<ParsedLog> parsed;
  std::string problems;
  for (const auto& log : logs) {
    auto one = ParseLog(log);
    if (!one.block.signature || !one.block.checksumValid ||
        one.block.fileType != hive_base::kNewLog) {
      problems += (problems.empty() ? "" : "; ") + log.name +
                  (one.block.signature && one.block.fileType == hive_base::kNewLog
                       ? ": the checksum of its base block is wrong"
                       : ": it holds no base block of a new-format log");
      continue;
    }
    parsed.push_back(std::move(one));
  }
  if (parsed.empty()) return problems;
  // The log with the earlier entries goes first; a hive whose own base block is damaged takes
  // only the log with the latest ones, and that log's copy of the base block.
  std::sort(parsed.begin(), parsed.end(), [](const ParsedLog& a, const ParsedLog& b) {
    return a.block.primarySequence < b.block.primarySequence;
  });
  std::vector<std::uint8_t> result = hive;
  if (!hiveBlock.checksumValid) {
    parsed.erase(parsed.begin(), parsed.end() - 1);
    std::copy_n(parsed.front().bytes.begin(), hive_base::kSector, result.begin());
    WriteLe32(result, hive_base::kFileType, hive_base::kPrimaryFile);
  }

  // Bins beyond the hive's end can only come from the logs' own pages.
  std::size_t largest = hive.size();
  for (const auto& log : parsed) largest += log.bytes.size();
  std::optional<std::uint32_t> expected;
  std::vector<HiveLogUse> applied;
  for (const auto& log : parsed) {
    HiveLogUse use{log.name, 0, 0};
    for (const auto& entry : log.entries) {
      if (!expected) {
        // Only a log whose first entry is the one its base block names, and not one the hive
        // already holds, starts the recovery.
        if (entry.sequence != log.block.primarySequence ||
            (hiveBlock.checksumValid && entry.sequence < hiveBlock.secondarySequence))
          break;
      } else if (entry.sequence < *expected) {
        break;  // an entry left from an earlier round: the sequence ends here
      } else if (entry.sequence > *expected) {
        return log.name + ": entry " + std::to_string(entry.sequence) + " follows entry " +
               std::to_string(*expected - 1) + ", the entries between are missing";
      }
      if (!entry.damage.empty())
        return log.name + ": entry " + std::to_string(entry.sequence) + " is damaged, " +
               entry.damage;
      if (hive_base::kSize + std::size_t{entry.binsSize} > largest)
        return log.name + ": entry " + std::to_string(entry.sequence) +
               " grows the hive beyond what the logs hold";
      Apply(result, log.bytes, entry);
      expected = entry.sequence + 1;
      ++use.entries;
      use.pages += entry.pages.size();
    }
    if (use.entries > 0) applied.push_back(use);
  }
  if (!expected)
    return problems.empty() ? "no log holds an entry that continues the hive" : problems;
  const auto bins = ReadLe32(result, hive_base::kBinsSize);
  if (!HiveBinsSound(result, bins)) return "the hive bins the logs give are not sound";
  const auto recovered = ReadBaseBlock(result);
  SealBaseBlock(std::span(result).first(hive_base::kSize),
                std::max({recovered.primarySequence, recovered.secondarySequence, *expected - 1}));
  hive = std::move(result);
  uses = std::move(applied);
  return {};
}

}  // namespace ravlin

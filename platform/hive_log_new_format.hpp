#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/hive_recovery.hpp"

namespace ravlin {

// A log of the new format (Windows 8.1 and later) to replay, with its file name.
struct NewFormatLog {
  std::string name;
  std::span<const std::uint8_t> bytes;
};

// Replays the "HvLE" entries of the new-format logs of a hive (one or two), in sequence order
// across them from the documented first sequence number, each checked against both of its
// Marvin32 hashes. A damaged entry or a gap in the sequence where the entries go on refuses the
// whole recovery, so that no logged change is lost silently. Returns "" and the logs' uses, or
// says what is wrong, leaving `hive` as it was.
std::string ReplayNewFormatLogs(std::vector<std::uint8_t>& hive,
                                const std::vector<NewFormatLog>& logs,
                                std::vector<HiveLogUse>& uses);

// The seed the logs' hashes are made with: the bytes 82 EF 4D 88 7A 4E 55 C5 read as one
// big-endian number, so that the low state word is 0x7A4E55C5.
inline constexpr std::uint64_t kLogEntryHashSeed = 0x82EF4D887A4E55C5;

}  // namespace ravlin

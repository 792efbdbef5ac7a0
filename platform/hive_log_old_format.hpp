#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/hive_recovery.hpp"

namespace ravlin {

// Replays a transaction log of the old format (Windows 2000 to 7): a partial copy of the base
// block, the "DIRT" vector with one bit per 512-byte page of hive bins data, then the dirty
// pages in order. The log must be valid itself (checksum, its own sequence numbers equal) and
// belong to this hive (the same last written timestamp, a sequence number of the hive); a
// hive whose base block is damaged takes the log's copy. Returns "" and fills `use`, or says
// what is wrong with the log, leaving `hive` as it was.
std::string ReplayOldFormatLog(std::vector<std::uint8_t>& hive, std::span<const std::uint8_t> log,
                               HiveLogUse& use);

}  // namespace ravlin

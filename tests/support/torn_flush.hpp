#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace ravlin::testing {

// A real hive changed through libhivex (a key "RavlinRecovered" with a string "Note" = "after
// the flush" and a 12,000-byte binary "Blob" that needs a new bin, and Select\Current = 2), and
// what a flush that died half way through the hive leaves of that change: the old-format log
// (Windows XP's way: its sequence numbers one behind the hive's new one) holding every dirty
// 4 KiB block, the hive with only the first half of them written and its sequence numbers
// apart. `scratch` receives the working files.
struct TornFlush {
  TornFlush(const std::filesystem::path& original, const std::filesystem::path& scratch);

  std::vector<std::uint8_t> original, changed, torn, log;
  std::size_t dirtyPages = 0;  // of 512 bytes
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
// Makes the checksum of a base block changed by hand match again.
void ResealBaseBlock(std::vector<std::uint8_t>& bytes);

}  // namespace ravlin::testing

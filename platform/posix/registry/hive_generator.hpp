#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ravlin {

// libhivex reads and changes hives but cannot create one. These write the smallest valid
// hive: the regf header block (format 1.5, as Windows XP writes it, both sequence numbers
// equal so it reads as cleanly closed) and one 4 KiB bin holding the root key and its
// security record. libhivex then fills it.
std::vector<std::uint8_t> EmptyHiveImage(const std::string& rootKeyName = "ROOT");
// Writes the image to `file` (created or replaced) and flushes it to the disk; throws
// std::system_error when the file cannot be written.
void WriteEmptyHive(const std::filesystem::path& file, const std::string& rootKeyName = "ROOT");

// The header checksum: the XOR of the header's first 127 double words (Windows stores 1 for
// an XOR of 0 and 0xFFFFFFFE for 0xFFFFFFFF).
std::uint32_t HiveHeaderChecksum(const std::uint8_t* header);

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/regedit/reg_file.hpp"

namespace ravlin {

// What an importer sends to the process that holds a mounted hive, and what comes back: a
// registry file's parsed changes, and the import's status with the reason of a refusal.
struct ImportReply {
  std::int32_t status = 0;
  std::string reason;  // as RegImportError::what() reads, "" on success
};

std::vector<std::uint8_t> EncodeOperations(const std::vector<RegOperation>& operations);
// Nothing for bytes that EncodeOperations did not make (cut short, a field out of range).
std::optional<std::vector<RegOperation>> DecodeOperations(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> EncodeReply(const ImportReply& reply);
std::optional<ImportReply> DecodeReply(std::span<const std::uint8_t> bytes);

}  // namespace ravlin

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/posix/registry/import_wire.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "tools/regedit/reg_file.hpp"

namespace ravlin {

// A change the registry layer refused; what() reads "line N: reason (status S)".
class RegImportError : public std::runtime_error {
 public:
  RegImportError(int line, const std::string& reason, std::int32_t status);
  std::int32_t status() const { return status_; }

 private:
  std::int32_t status_;
};

// Applies a parsed registry file in order through the registry layer, whole or not at all.
// The key below each root that the file writes to (for example HKLM\Ravlin_System, a mounted
// hive) stays open from its first use to the end, so that each hive is written once, when
// the whole file has been applied. Deleting a key or value that does not exist is not a
// fault, as in Windows' editor. At the first refused change every change of the file is
// dropped and RegImportError is thrown.
void ImportRegOperations(PosixRegistry& registry, const std::vector<RegOperation>& operations);

// When a process holds a hive that the changes go to in memory (PosixRegistry::HoldMounts),
// sends them there and returns its reply; nothing when no process holds one, and the changes
// are then the caller's to apply.
std::optional<ImportReply> ImportThroughHolder(const std::filesystem::path& store,
                                               const std::vector<RegOperation>& operations);

}  // namespace ravlin

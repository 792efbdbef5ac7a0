#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/registry/posix_registry_storage.hpp"

namespace ravlin {

// One mounted hive: `root` "HKLM" or "HKU", `name` the key it appears as (ANSI, as given).
// The hive file is `hive` below the folder `top` (for a guest's SYSTEM hive its Windows
// folder, which every write stays beneath), `file` both joined. Every process works on the
// working copy `copy` in the store; `guest` is the hive file as it was copied, and
// `copied` the working copy as it was made, so that the unload writes back only a changed
// copy and never over a hive that changed meanwhile.
struct Mount {
  std::string root;
  std::string name;
  std::filesystem::path file;
  std::filesystem::path top;
  std::string hive;
  std::string copy;
  FileState guest;
  FileState copied;
};

// The socket in the store where the process holding the mount's hive in memory serves its
// importers.
std::string ImportSocketName(const Mount& mount);

// The mount table file in the registry store, which every process reads, so that a mount
// is seen at once by other processes and lasts across runs until it is unmounted. The
// caller holds the store lock (shared to read, exclusive to change).
class MountTable {
 public:
  explicit MountTable(std::filesystem::path store) : store_(std::move(store)) {}

  std::vector<Mount> Read() const;
  // Replaces the table crash-safely; 0 or a registry status.
  std::int32_t Write(const std::vector<Mount>& mounts) const;

  // The mount of that root and name (compared ignoring case).
  static std::optional<Mount> Find(const std::vector<Mount>& mounts, const std::string& root,
                                   const std::string& name);

 private:
  std::filesystem::path store_;
  // The table as last read, with the state of its file then.
  mutable std::optional<std::pair<FileState, std::vector<Mount>>> read_;
};

}  // namespace ravlin

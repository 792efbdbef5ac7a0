#pragma once

#include <functional>
#include <memory>

#include "platform/hive_reader.hpp"
#include "platform/registry.hpp"
#include "platform/win32/registry/owned_handles.hpp"

namespace ravlin {

// Hive files read through the system's own loader: each call loads a temporary copy of the
// file under a name of its own below HKLM, reads it and unloads it again, so that the file
// itself is never loaded or changed. Loading needs the backup and restore privileges, which
// each call enables while it runs.
class Win32HiveReader : public HiveReader {
 public:
  explicit Win32HiveReader(std::shared_ptr<Registry> registry);

  std::optional<HiveValue> ReadValue(const std::string& file, const std::string& keyPath,
                                     const std::string& valueName) override;
  bool KeyExists(const std::string& file, const std::string& keyPath) override;
  std::optional<std::vector<HiveKey>> ReadTree(const std::string& file,
                                               const std::string& keyPath) override;

 private:
  // Calls `read` with the key at `keyPath` of a loaded copy of `file`; false when the copy
  // cannot be made or loaded or has no such key.
  bool WithKey(const std::string& file, const std::string& keyPath,
               const std::function<void(HKEY__* key)>& read);

  std::shared_ptr<Registry> registry_;
};

}  // namespace ravlin

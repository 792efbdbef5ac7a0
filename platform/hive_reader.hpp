#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ravlin {

struct HiveValue {
  std::string name;  // ANSI; "" is the key's default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // exactly as stored (strings in UTF-16LE)
};

struct HiveKey {
  std::string path;  // below the key asked for, components separated by '\'; "" is that key
  std::vector<HiveValue> values;
};

// Reads registry hive files without mounting them and without ever writing to them (the
// guest's SOFTWARE hive, a scratch copy of its SYSTEM hive). Paths are Windows path texts;
// key paths are below the hive's root and matched ignoring case.
class HiveReader {
 public:
  virtual ~HiveReader() = default;

  // Nothing when the file is missing or no readable hive, or the key or value is missing.
  virtual std::optional<HiveValue> ReadValue(const std::string& file, const std::string& keyPath,
                                             const std::string& valueName) = 0;
  virtual bool KeyExists(const std::string& file, const std::string& keyPath) = 0;
  // The key and every key below it with their values, parents before children, subkeys in
  // the hive's order; nothing when the file or the key cannot be read.
  virtual std::optional<std::vector<HiveKey>> ReadTree(const std::string& file,
                                                       const std::string& keyPath) = 0;
};

}  // namespace ravlin

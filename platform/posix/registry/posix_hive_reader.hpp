#pragma once

#include <memory>

#include "platform/hive_reader.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// Hive files read through libhivex, opened read-only for each call.
class PosixHiveReader : public HiveReader {
 public:
  explicit PosixHiveReader(std::shared_ptr<const DriveTable> drives);

  std::optional<HiveValue> ReadValue(const std::string& file, const std::string& keyPath,
                                     const std::string& valueName) override;
  bool KeyExists(const std::string& file, const std::string& keyPath) override;
  std::optional<std::vector<HiveKey>> ReadTree(const std::string& file,
                                               const std::string& keyPath) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

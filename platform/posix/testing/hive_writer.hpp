#pragma once

// New hives with given keys and values, for the tests, the benchmarks and the sample guest:
// our empty-hive generator makes the file, libhivex fills it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ravlin::testing {

// Registry value types as a hive stores them.
inline constexpr std::uint32_t kHiveSz = 1;
inline constexpr std::uint32_t kHiveExpandSz = 2;
inline constexpr std::uint32_t kHiveBinary = 3;
inline constexpr std::uint32_t kHiveDword = 4;

struct TestValue {
  std::string name;  // UTF-8
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // exactly as stored in the hive
};
// A REG_SZ (or, given that type, REG_EXPAND_SZ) value: `text` (UTF-8) stored as UTF-16LE with
// its terminating NUL.
TestValue SzValue(const std::string& name, const std::string& text, std::uint32_t type = kHiveSz);
TestValue DwordValue(const std::string& name, std::uint32_t value);
TestValue BinaryValue(const std::string& name, std::vector<std::uint8_t> data);

struct TestKey {
  std::string path;  // below the root, components separated by '\', UTF-8
  std::vector<TestValue> values;
};

// Writes a new hive (replacing `file`) holding the given keys, in their order, missing parents
// made first, each with its values; names are matched as libhivex matches them (ASCII
// letters in either case). The number of keys made below the root.
std::size_t MakeTestHive(const std::filesystem::path& file, const std::vector<TestKey>& keys,
                         const std::string& rootKeyName = "ROOT");

}  // namespace ravlin::testing

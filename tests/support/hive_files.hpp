#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ravlin::testing {

// The project's test data folder (tests/data).
std::filesystem::path TestDataDir();
// Decompresses tests/data/hives/<name>.xz into `destination` (its folders created).
void DecompressTestHive(const std::string& name, const std::filesystem::path& destination);

struct TestValue {
  std::string name;  // UTF-8
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;  // exactly as stored in the hive
};
// A REG_SZ value: `text` (UTF-8) stored as UTF-16LE with its terminating NUL.
TestValue SzValue(const std::string& name, const std::string& text);
TestValue DwordValue(const std::string& name, std::uint32_t value);
TestValue BinaryValue(const std::string& name, std::vector<std::uint8_t> data);

struct TestKey {
  std::string path;  // below the root, components separated by '\', UTF-8
  std::vector<TestValue> values;
};

// Writes a new hive holding the given keys (missing parents made) and values, through our
// empty-hive generator and libhivex.
void MakeTestHive(const std::filesystem::path& file, const std::vector<TestKey>& keys,
                  const std::string& rootKeyName = "ROOT");

// The hive as an independent reader sees it: `hivexregedit --export` of the whole hive,
// names in UTF-8, keys below "HKEY_LOCAL_MACHINE\TEST".
std::string ExportHive(const std::filesystem::path& file);

}  // namespace ravlin::testing

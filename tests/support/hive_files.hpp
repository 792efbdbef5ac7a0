#pragma once

#include <filesystem>
#include <string>

// Test hives of our own are written with MakeTestHive.
#include "platform/posix/testing/hive_writer.hpp"

namespace ravlin::testing {

// The project's test data folder (tests/data).
std::filesystem::path TestDataDir();
// Decompresses tests/data/hives/<name>.xz into `destination` (its folders created).
void DecompressTestHive(const std::string& name, const std::filesystem::path& destination);

// The hive as an independent reader sees it: `hivexregedit --export` of the whole hive,
// names in UTF-8, keys below "HKEY_LOCAL_MACHINE\TEST".
std::string ExportHive(const std::filesystem::path& file);

}  // namespace ravlin::testing

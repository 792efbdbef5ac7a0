#pragma once

#include <hivex.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/posix/registry/posix_registry_storage.hpp"

namespace ravlin {

// Checks a file's header as Windows would before loading it, reading only: 1017 for a file
// that is no hive (too short, no "regf", unknown major version), 1009 for a damaged header
// (bad checksum, bins not in whole 4 KiB pages or reaching past the end of the file), 1015 for a
// hive that Windows did not close cleanly (its sequence numbers differ: its changes are still in
// the transaction log, and libhivex would mark it clean on its next commit), 0 otherwise.
std::int32_t CheckHiveHeader(const std::filesystem::path& file);
// The header check (bins of whole pages: 1009 otherwise), then every bin's header, then
// libhivex's own: it must open the hive read-only and find its root.
std::int32_t CheckHiveFile(const std::filesystem::path& file);
// The same for an open file (read with pread, so its offset stays).
std::int32_t CheckHiveContent(int fd);
// The header and every bin's header of an open file, without libhivex: for a file that is
// then opened with libhivex anyway.
std::int32_t CheckHiveLayout(int fd);

// What libhivex hands out with malloc.
struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

// A value's data and type. Hives hold types beyond libhivex's enumeration (2305 and more are
// seen), so the type is received as the enumeration's underlying number, never as the enum.
Malloced<char> ReadValueData(hive_h* hive, hive_value_h value, std::uint32_t& type,
                             std::size_t& length);

// A value as the hive stores it.
struct StoredValue {
  std::string name;  // UTF-8
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// Windows reads a value longer than this from a hive of format 1.4 or later only as a
// big-data record, which libhivex cannot write.
inline constexpr std::size_t kLargestSingleCellValue = 16344;

// One hive file held in memory by libhivex; changes stay in memory until Commit, which
// replaces the file crash-safely.
class HiveFile {
 public:
  struct Options {
    // Without it a commit flushes nothing: for working copies, which are scratch.
    bool durable = true;
  };

  // Opens `file` (a path without links, as the mount table and the store keep it): 0 or a
  // status (2 missing, 1921 a link, 5 unreadable, 1009/1015/1017 as CheckHiveHeader).
  static std::int32_t Open(const std::filesystem::path& file, Options options,
                           std::unique_ptr<HiveFile>& opened);
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;
  ~HiveFile();

  hive_h* handle() const { return hive_; }
  const std::filesystem::path& path() const { return file_; }
  bool changed() const { return changed_; }
  // Whether the file is still the one read or last written here (identity, size and change
  // time): another process's commit replaces it.
  bool Current() const;
  void MarkChanged() { changed_ = true; }

  // Writes the changes to the file (nothing to do without changes): 0 or a status. Refuses
  // (1921) when the file or its folder became a link since it was opened, and (1016) when
  // another process replaced the file meanwhile, whose changes would otherwise be lost.
  // The caller holds the store lock exclusively.
  std::int32_t Commit();

  // Writes the hive as it is in memory into the empty file `fd` and checks that libhivex
  // reads it back: 0 or a status. The file this hive came from stays as it is.
  std::int32_t WriteTo(int fd) const;
  // The same without the check, for a caller that checks the file itself.
  std::int32_t WriteImage(int fd) const;

  // The subkey of `parent` named `name` (UTF-8, ignoring case), 0 when there is none: 0 or
  // 1009 when the subkey list cannot be read. Each parent's subkeys are read once and then
  // looked up by name: a key like CriticalDeviceDatabase has thousands of them.
  std::int32_t FindChild(hive_node_h parent, std::string_view name, hive_node_h& child);
  // Adds the subkey `name` (UTF-8) below `parent`: 0 or a status.
  std::int32_t AddChild(hive_node_h parent, const std::string& name, hive_node_h& child);
  // Deletes the key and everything below it: 0 or a status.
  std::int32_t DeleteKey(hive_node_h node);

  // The key's values; 0 or a status.
  std::int32_t ReadValues(hive_node_h node, std::vector<StoredValue>& values) const;
  // Replaces all values of the key (libhivex rewrites them all for any change). Refuses
  // (50) when one of them is longer than a single cell may be: it would become unreadable.
  std::int32_t WriteValues(hive_node_h node, const std::vector<StoredValue>& values);

 private:
  HiveFile(std::filesystem::path file, Options options, hive_h* hive, FileState state);

  std::filesystem::path file_;
  Options options_;
  hive_h* hive_;
  FileState state_;
  bool changed_ = false;
  // After libhivex failed in the middle of a change, the hive in memory may be half changed:
  // it is never written, and its changes are dropped.
  bool broken_ = false;
  // Per parent read so far: its subkeys by folded name (FoldedRegistryName).
  std::unordered_map<hive_node_h, std::unordered_map<std::u16string, hive_node_h>> children_;
};

}  // namespace ravlin

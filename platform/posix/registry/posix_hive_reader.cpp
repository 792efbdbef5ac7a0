#include "platform/posix/registry/posix_hive_reader.hpp"

#include <fcntl.h>
#include <hivex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/codepage.hpp"
#include "platform/posix/registry/hive_logs.hpp"
#include "platform/posix/registry/posix_registry_hive.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {
namespace {

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};
using OpenHive = std::unique_ptr<hive_h, HiveCloser>;

// A dirty hive is read as its transaction logs bring it up to date, from a copy in memory;
// one they cannot recover is read as it is.
OpenHive Open(const DriveTable& drives, const std::string& file) {
  const auto native = drives.ToNative(file);
  if (!native) return nullptr;
  // libhivex opens the path it gets and would wait forever on a FIFO: the file is opened
  // here without waiting, checked to be a regular file, and handed over as that very file.
  const UniqueFd opened(::open(native->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (!opened.valid() || ::fstat(opened.get(), &status) != 0 || !S_ISREG(status.st_mode))
    return nullptr;
  UniqueFd folder(::open(native->parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::vector<std::uint8_t> recovered;
  HiveRecovery recovery;
  if (folder.valid() &&
      RecoverHiveFile(folder.get(), opened.get(), native->filename().string(), recovered,
                      recovery) == kErrorSuccess &&
      recovery.state == HiveRecovery::State::kRecovered) {
    UniqueFd memory(::memfd_create("ravlin-recovered-hive", MFD_CLOEXEC));
    if (!memory.valid() || WriteFully(memory.get(), recovered.data(), recovered.size()) != 0)
      return nullptr;
    return OpenHive(hivex_open(("/proc/self/fd/" + std::to_string(memory.get())).c_str(), 0));
  }
  const std::string self = "/proc/self/fd/" + std::to_string(opened.get());
  // Without HIVEX_OPEN_WRITE libhivex never writes to the file.
  return OpenHive(hivex_open(self.c_str(), 0));
}

// The node at `keyPath` ("" is the root), found ignoring case; 0 when missing.
hive_node_h Find(hive_h* hive, const std::string& keyPath) {
  hive_node_h node = hivex_root(hive);
  std::size_t start = 0;
  while (node != 0 && start < keyPath.size()) {
    const std::size_t end = std::min(keyPath.find('\\', start), keyPath.size());
    if (end > start)
      node =
          hivex_node_get_child(hive, node, AnsiToUtf8(keyPath.substr(start, end - start)).c_str());
    start = end + 1;
  }
  return node;
}

std::optional<HiveValue> ValueOf(hive_h* hive, hive_value_h value) {
  const Malloced<char> name(hivex_value_key(hive, value));
  HiveValue read;
  std::size_t length = 0;
  const Malloced<char> data = ReadValueData(hive, value, read.type, length);
  if (!name || !data) return std::nullopt;
  read.name = Utf8ToAnsi(name.get());
  read.data.assign(data.get(), data.get() + length);
  return read;
}

bool ReadKey(hive_h* hive, hive_node_h node, const std::string& path, std::vector<HiveKey>& keys) {
  HiveKey key{path, {}};
  const Malloced<hive_value_h> values(hivex_node_values(hive, node));
  if (!values) return false;
  for (const hive_value_h* value = values.get(); *value != 0; ++value) {
    auto read = ValueOf(hive, *value);
    if (!read) return false;
    key.values.push_back(std::move(*read));
  }
  keys.push_back(std::move(key));
  const Malloced<hive_node_h> children(hivex_node_children(hive, node));
  if (!children) return false;
  for (const hive_node_h* child = children.get(); *child != 0; ++child) {
    const Malloced<char> name(hivex_node_name(hive, *child));
    if (!name) return false;
    const std::string childName = Utf8ToAnsi(name.get());
    if (!ReadKey(hive, *child, path.empty() ? childName : path + "\\" + childName, keys))
      return false;
  }
  return true;
}

}  // namespace

PosixHiveReader::PosixHiveReader(std::shared_ptr<const DriveTable> drives)
    : drives_(std::move(drives)) {}

std::optional<HiveValue> PosixHiveReader::ReadValue(const std::string& file,
                                                    const std::string& keyPath,
                                                    const std::string& valueName) {
  const OpenHive hive = Open(*drives_, file);
  if (!hive) return std::nullopt;
  const hive_node_h node = Find(hive.get(), keyPath);
  if (node == 0) return std::nullopt;
  const hive_value_h value = hivex_node_get_value(hive.get(), node, AnsiToUtf8(valueName).c_str());
  if (value == 0) return std::nullopt;
  return ValueOf(hive.get(), value);
}

bool PosixHiveReader::KeyExists(const std::string& file, const std::string& keyPath) {
  const OpenHive hive = Open(*drives_, file);
  return hive && Find(hive.get(), keyPath) != 0;
}

std::optional<std::vector<HiveKey>> PosixHiveReader::ReadTree(const std::string& file,
                                                              const std::string& keyPath) {
  const OpenHive hive = Open(*drives_, file);
  if (!hive) return std::nullopt;
  const hive_node_h node = Find(hive.get(), keyPath);
  if (node == 0) return std::nullopt;
  std::vector<HiveKey> keys;
  if (!ReadKey(hive.get(), node, "", keys)) return std::nullopt;
  return keys;
}

}  // namespace ravlin

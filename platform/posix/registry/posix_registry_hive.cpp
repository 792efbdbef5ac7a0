#include "platform/posix/registry/posix_registry_hive.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <type_traits>

#include "platform/hive_base_block.hpp"
#include "platform/posix/registry/hive_generator.hpp"
#include "platform/posix/registry/posix_registry_names.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::size_t kHeaderSize = 0x1000;
constexpr std::size_t kSmallestHive = 0x2000;

// Every bin starts with "hbin", its own offset and a size in whole 4 KiB pages, and the bins
// fill exactly the size the header gives.
std::int32_t CheckHiveBins(int fd, std::uint32_t binsSize) {
  for (std::uint32_t at = 0; at < binsSize;) {
    std::array<std::uint8_t, 12> bin{};
    if (::pread(fd, bin.data(), bin.size(), static_cast<off_t>(kHeaderSize + at)) !=
        static_cast<ssize_t>(bin.size()))
      return kErrorBadDb;
    const auto size = ReadLe32(bin, 8);
    if (bin[0] != 'h' || bin[1] != 'b' || bin[2] != 'i' || bin[3] != 'n' ||
        ReadLe32(bin, 4) != at || size == 0 || size % kHeaderSize != 0 || size > binsSize - at)
      return kErrorBadDb;
    at += size;
  }
  return kErrorSuccess;
}

std::int32_t CheckHiveHeaderOf(int fd, bool withBins) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return StatusFromErrno(errno);
  if (!S_ISREG(info.st_mode)) return kErrorAccessDenied;
  if (static_cast<std::size_t>(info.st_size) < kSmallestHive) return kErrorNotRegistryFile;
  std::array<std::uint8_t, kHeaderSize> header{};
  std::size_t got = 0;
  while (got < header.size()) {
    const auto n = ::pread(fd, header.data() + got, header.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? kErrorNotRegistryFile : StatusFromErrno(errno);
    got += static_cast<std::size_t>(n);
  }
  if (header[0] != 'r' || header[1] != 'e' || header[2] != 'g' || header[3] != 'f')
    return kErrorNotRegistryFile;
  if (ReadLe32(header, 0x14) != 1) return kErrorNotRegistryFile;
  if (!BaseBlockChecksumValid(header)) return kErrorBadDb;
  const auto binsSize = ReadLe32(header, 0x28);
  const std::uint64_t binsEnd = kHeaderSize + std::uint64_t{binsSize};
  // Windows allocates bins in whole pages; libhivex takes other sizes but writes files from
  // them that no reader opens again.
  if (binsSize == 0 || binsSize % kHeaderSize != 0 ||
      binsEnd > static_cast<std::uint64_t>(info.st_size) || ReadLe32(header, 0x24) >= binsEnd)
    return kErrorBadDb;
  if (ReadLe32(header, 0x04) != ReadLe32(header, 0x08)) return kErrorRegistryCorrupt;
  return withBins ? CheckHiveBins(fd, binsSize) : kErrorSuccess;
}

}  // namespace

std::int32_t CheckHiveHeader(const std::filesystem::path& file) {
  // Opening never waits: a FIFO in the hive's place would block until a writer came.
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return StatusFromErrno(errno);
  return CheckHiveHeaderOf(fd.get(), false);
}

std::int32_t CheckHiveLayout(int fd) {
  return CheckHiveHeaderOf(fd, true);
}

std::int32_t CheckHiveContent(int fd) {
  if (const auto status = CheckHiveLayout(fd); status != kErrorSuccess) return status;
  const auto path = "/proc/self/fd/" + std::to_string(fd);
  std::unique_ptr<hive_h, int (*)(hive_h*)> hive(hivex_open(path.c_str(), 0), hivex_close);
  if (!hive) return errno == EACCES || errno == EPERM ? kErrorAccessDenied : kErrorBadDb;
  if (hivex_root(hive.get()) == 0) return kErrorBadDb;
  return kErrorSuccess;
}

std::int32_t CheckHiveFile(const std::filesystem::path& file) {
  // Opening never waits: a FIFO in the hive's place would block until a writer came.
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return StatusFromErrno(errno);
  return CheckHiveContent(fd.get());
}

HiveFile::HiveFile(std::filesystem::path file, Options options, hive_h* hive, FileState state)
    : file_(std::move(file)), options_(options), hive_(hive), state_(state) {}

HiveFile::~HiveFile() {
  hivex_close(hive_);
}

std::int32_t HiveFile::Open(const std::filesystem::path& file, Options options,
                            std::unique_ptr<HiveFile>& opened) {
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0) return StatusFromErrno(errno);
  if (S_ISLNK(info.st_mode)) return kErrorCantResolveFilename;
  if (const auto status = CheckHiveHeader(file); status != kErrorSuccess) return status;
  hive_h* hive = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
  if (hive == nullptr)
    return errno == EACCES || errno == EPERM || errno == ENOENT ? StatusFromErrno(errno)
                                                                : kErrorBadDb;
  opened.reset(new HiveFile(file, options, hive, FileState::Of(info)));
  if (hivex_root(hive) == 0) {
    opened.reset();
    return kErrorBadDb;
  }
  return kErrorSuccess;
}

std::int32_t HiveFile::Commit() {
  if (broken_) return kErrorRegistryIoFailed;
  if (!changed_) return kErrorSuccess;
  const auto folder = file_.parent_path();
  // The folder must still be the one the hive was found in, not a link put in its place.
  std::error_code error;
  if (std::filesystem::canonical(folder, error) != folder || error)
    return kErrorCantResolveFilename;
  UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folderFd.valid()) return StatusFromErrno(errno);
  const auto name = file_.filename().string();
  // Opened, not just looked at: the new file takes the attributes of the very file checked.
  UniqueFd current(
      ::openat(folderFd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!current.valid()) return StatusFromErrno(errno);
  struct stat currentInfo {};
  if (::fstat(current.get(), &currentInfo) != 0) return StatusFromErrno(errno);
  if (!S_ISREG(currentInfo.st_mode)) return kErrorCantResolveFilename;
  if (!(FileState::Of(currentInfo) == state_)) return kErrorRegistryIoFailed;

  PendingReplacement replacement(folderFd.get(), name);
  if (const auto status = replacement.Create(); status != kErrorSuccess) return status;
  if (const auto status = WriteTo(replacement.fd()); status != kErrorSuccess) return status;
  if (options_.durable) replacement.StartFlush();
  FileState written;
  if (const auto status = replacement.Install(&currentInfo, &written, options_.durable);
      status != kErrorSuccess)
    return status;
  state_ = written;
  changed_ = false;
  return kErrorSuccess;
}

std::int32_t HiveFile::WriteImage(int fd) const {
  if (broken_) return kErrorRegistryIoFailed;
  // libhivex wants a path and would truncate the hive in place: give it the new file.
  const auto path = "/proc/self/fd/" + std::to_string(fd);
  if (hivex_commit(hive_, path.c_str(), 0) != 0) return StatusFromErrno(errno != 0 ? errno : EIO);
  return kErrorSuccess;
}

std::int32_t HiveFile::WriteTo(int fd) const {
  if (const auto status = WriteImage(fd); status != kErrorSuccess) return status;
  // A file that we could not open again must never take the hive's place.
  return CheckHiveContent(fd);
}

bool HiveFile::Current() const {
  struct stat info {};
  return ::lstat(file_.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         FileState::Of(info) == state_;
}

std::int32_t HiveFile::FindChild(hive_node_h parent, std::string_view name, hive_node_h& child) {
  child = 0;
  auto known = children_.find(parent);
  if (known == children_.end()) {
    errno = 0;
    Malloced<hive_node_h> list(hivex_node_children(hive_, parent));
    if (!list) return kErrorBadDb;
    std::unordered_map<std::u16string, hive_node_h> byName;
    for (const hive_node_h* node = list.get(); *node != 0; ++node) {
      Malloced<char> nodeName(hivex_node_name(hive_, *node));
      // Of two names that only a damaged hive can hold twice, the first in the index counts.
      if (nodeName) byName.try_emplace(FoldedRegistryName(nodeName.get()), *node);
    }
    known = children_.emplace(parent, std::move(byName)).first;
  }
  if (const auto found = known->second.find(FoldedRegistryName(name)); found != known->second.end())
    child = found->second;
  return kErrorSuccess;
}

std::int32_t HiveFile::AddChild(hive_node_h parent, const std::string& name, hive_node_h& child) {
  child = hivex_node_add_child(hive_, parent, name.c_str());
  if (child == 0) {
    broken_ = true;
    return StatusFromErrno(errno);
  }
  changed_ = true;
  if (const auto known = children_.find(parent); known != children_.end())
    known->second.emplace(FoldedRegistryName(name), child);
  return kErrorSuccess;
}

std::int32_t HiveFile::DeleteKey(hive_node_h node) {
  // The lists of the key's parent and of every key below it change: all are read again.
  children_.clear();
  if (hivex_node_delete_child(hive_, node) != 0) {
    broken_ = true;
    return StatusFromErrno(errno);
  }
  changed_ = true;
  return kErrorSuccess;
}

Malloced<char> ReadValueData(hive_h* hive, hive_value_h value, std::uint32_t& type,
                             std::size_t& length) {
  std::underlying_type_t<hive_type> number = 0;
  Malloced<char> data(
      hivex_value_value(hive, value, reinterpret_cast<hive_type*>(&number), &length));
  type = static_cast<std::uint32_t>(number);
  return data;
}

std::int32_t HiveFile::ReadValues(hive_node_h node, std::vector<StoredValue>& values) const {
  values.clear();
  errno = 0;
  Malloced<hive_value_h> list(hivex_node_values(hive_, node));
  if (!list) return kErrorBadDb;
  for (const hive_value_h* value = list.get(); *value != 0; ++value) {
    StoredValue stored;
    Malloced<char> name(hivex_value_key(hive_, *value));
    if (!name) return kErrorBadDb;
    stored.name = name.get();
    std::size_t length = 0;
    const Malloced<char> data = ReadValueData(hive_, *value, stored.type, length);
    if (!data) return kErrorBadDb;
    stored.data.assign(data.get(), data.get() + length);
    values.push_back(std::move(stored));
  }
  return kErrorSuccess;
}

std::int32_t HiveFile::WriteValues(hive_node_h node, const std::vector<StoredValue>& values) {
  std::vector<hive_set_value> set;
  set.reserve(values.size());
  for (const auto& value : values) {
    if (value.data.size() > kLargestSingleCellValue) return kErrorNotSupported;
    set.push_back(hive_set_value{
        const_cast<char*>(value.name.c_str()), static_cast<hive_type>(value.type),
        value.data.size(), reinterpret_cast<char*>(const_cast<std::uint8_t*>(value.data.data()))});
  }
  if (hivex_node_set_values(hive_, node, set.size(), set.data(), 0) != 0) {
    broken_ = true;
    return StatusFromErrno(errno);
  }
  changed_ = true;
  return kErrorSuccess;
}

}  // namespace ravlin

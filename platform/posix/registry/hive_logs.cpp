#include "platform/posix/registry/hive_logs.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/hive_base_block.hpp"
#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

// Reads `size` bytes from the start (fewer when the file is shorter): 0 or an errno value.
int ReadFrom(int fd, std::size_t size, std::vector<std::uint8_t>& bytes) {
  bytes.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const auto n = ::pread(fd, bytes.data() + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return 0;
}

int ReadWhole(int fd, std::vector<std::uint8_t>& bytes) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  return ReadFrom(fd, static_cast<std::size_t>(info.st_size), bytes);
}

// The log named `name` ignoring case; missing when there is none or it is no regular file.
std::int32_t ReadLog(int folderFd, const std::string& name,
                     std::optional<std::vector<std::uint8_t>>& log) {
  const auto wanted = LowerAscii(name);
  std::string found;
  ForEachName(folderFd, [&](const char* entry) {
    if (found.empty() && LowerAscii(entry) == wanted) found = entry;
  });
  if (found.empty()) return kErrorSuccess;
  UniqueFd fd(::openat(folderFd, found.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0)
    return errno == ELOOP || errno == ENOENT ? kErrorSuccess : StatusFromErrno(errno);
  if (!S_ISREG(info.st_mode)) return kErrorSuccess;
  std::vector<std::uint8_t> bytes;
  if (const int error = ReadWhole(fd.get(), bytes); error != 0) return StatusFromErrno(error);
  log = std::move(bytes);
  return kErrorSuccess;
}

}  // namespace

std::int32_t RecoverHiveFile(int folderFd, int hiveFd, const std::string& hiveName,
                             std::vector<std::uint8_t>& recovered, HiveRecovery& recovery) {
  recovery = {};
  std::vector<std::uint8_t> hive;
  if (const int error = ReadFrom(hiveFd, hive_base::kSize, hive); error != 0)
    return StatusFromErrno(error);
  if (!HiveIsDirty(hive)) return kErrorSuccess;
  if (const int error = ReadWhole(hiveFd, hive); error != 0) return StatusFromErrno(error);
  HiveLogFiles logs{hiveName, {}, {}, {}};
  for (auto [suffix, log] : {std::pair{".LOG", &logs.log}, std::pair{".LOG1", &logs.log1},
                             std::pair{".LOG2", &logs.log2}})
    if (const auto status = ReadLog(folderFd, hiveName + suffix, *log); status != kErrorSuccess)
      return status;
  recovery = RecoverHive(hive, logs);
  if (recovery.state == HiveRecovery::State::kRecovered) recovered = std::move(hive);
  return kErrorSuccess;
}

}  // namespace ravlin

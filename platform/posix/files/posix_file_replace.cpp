#include "platform/posix/files/posix_file_replace.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/posix/runtime/posix_errors.hpp"
#include "platform/posix/runtime/unique_fd.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

void Flush(const fs::path& path) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid() || ::fsync(file.get()) != 0) throw ErrorFromErrno(errno);
}

// A copy of `from` at `to` (which must not exist), flushed, with the same permissions.
void FlushedCopy(const fs::path& from, const fs::path& to) {
  std::error_code error;
  if (!fs::copy_file(from, to, fs::copy_options::none, error)) throw ErrorFromCode(error);
  Flush(to);
}

}  // namespace

PosixFileReplacer::PosixFileReplacer(std::shared_ptr<const DriveTable> drives)
    : drives_(std::move(drives)) {}

void PosixFileReplacer::ReplaceFile(const std::string& target, const std::string& replacement,
                                    const std::string& keepOldAs) {
  const fs::path targetPath = NativePathOrThrow(*drives_, target);
  const fs::path replacementPath = NativePathOrThrow(*drives_, replacement);
  const fs::path keptPath = NativePathOrThrow(*drives_, keepOldAs);
  struct stat info {};
  if (::stat(targetPath.c_str(), &info) != 0 || ::stat(replacementPath.c_str(), &info) != 0)
    throw ErrorFromErrno(errno);
  if (::lstat(keptPath.c_str(), &info) == 0) throw RuntimeError(vb_error::kFileAlreadyExists);

  if (::link(targetPath.c_str(), keptPath.c_str()) != 0) {
    if (errno == EEXIST) throw RuntimeError(vb_error::kFileAlreadyExists);
    FlushedCopy(targetPath, keptPath);
  }
  Flush(keptPath.parent_path());
  if (::rename(replacementPath.c_str(), targetPath.c_str()) != 0) {
    const int error = errno;
    std::error_code ignored;
    fs::remove(keptPath, ignored);
    throw ErrorFromErrno(error);
  }
  Flush(targetPath.parent_path());
  if (replacementPath.parent_path() != targetPath.parent_path())
    Flush(replacementPath.parent_path());
}

}  // namespace ravlin

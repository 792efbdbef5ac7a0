#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/runtime/posix_errors.hpp"

namespace ravlin {
namespace {

// Closes the descriptor when the write is done or has failed.
class OpenFile {
 public:
  explicit OpenFile(int descriptor) : descriptor_(descriptor) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  // Closes now, so that a failure to flush the data is reported; returns errno or 0.
  int Close() {
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0 ? 0 : errno;
  }
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

void PosixFileService::WriteText(const std::string& path, const std::string& text, bool append) {
  if (path.empty()) throw RuntimeError(vb_error::kBadFileName);
  if (HasWildcards(path)) throw RuntimeError(vb_error::kBadFileName);
  const auto native = NativePathOrThrow(*drives_, path);
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  beneath::Opened opened = guest_->Open(native, flags, 0666);
  OpenFile file(opened.fd.release());
  if (file.get() < 0) {
    const int error = opened.error;
    if (error == EISDIR) throw RuntimeError(vb_error::kPathFileAccessError);
    throw ErrorFromErrno(error, vb_error::kPathNotFound);
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = ::write(file.get(), text.data() + written, text.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    written += static_cast<std::size_t>(count);
  }
  if (const int error = file.Close(); error != 0) throw ErrorFromErrno(error);
}

void PosixFileService::DeleteFile(const std::string& path) {
  if (path.empty() || HasWildcards(path)) throw RuntimeError(vb_error::kBadFileName);
  const auto native = NativePathOrThrow(*drives_, path);
  const beneath::Entry entry = EntryOrThrow(*guest_, native, vb_error::kFileNotFound);
  if (::unlinkat(entry.folder.get(), entry.name.c_str(), 0) != 0) {
    const int error = errno;
    if (error == EISDIR || error == EPERM) {
      // unlink refuses folders with EISDIR on Linux, or EPERM on some file systems.
      struct stat status {};
      if (::fstatat(entry.folder.get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISDIR(status.st_mode))
        throw RuntimeError(vb_error::kFileNotFound);
    }
    throw ErrorFromErrno(error);
  }
}

}  // namespace ravlin

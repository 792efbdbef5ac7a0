#include "platform/posix/files/beneath.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <vector>

namespace ravlin::beneath {
namespace {

// The kernel's own bound on links followed in one lookup.
constexpr int kMaxLinks = 40;
// openat2 asks for a retry when a rename raced with a ".." step.
constexpr int kMaxRetries = 8;

bool Creates(int flags) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

// The parts of a path, without empty ones and ".".
void AppendParts(std::string_view path, std::deque<std::string>& parts, bool front) {
  std::vector<std::string> found;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty() && part != ".") found.emplace_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  if (front)
    parts.insert(parts.begin(), found.begin(), found.end());
  else
    parts.insert(parts.end(), found.begin(), found.end());
}

// The text of the link `name` in `folder`, or an errno value.
int ReadLink(int folder, const char* name, std::string& target) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlinkat(folder, name, buffer.data(), buffer.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      target.assign(buffer.data(), static_cast<std::size_t>(length));
      return 0;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool IsLink(int folder, const char* name) {
  struct stat status {};
  return ::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// One walk from the root: `folders` holds the folders entered below it, the last one current.
class Walk {
 public:
  explicit Walk(int root) : root_(root) {}

  int Current() const { return folders_.empty() ? root_ : folders_.back().get(); }

  // ".." inside the root; above it is refused.
  int Up() {
    if (folders_.empty()) return EXDEV;
    folders_.pop_back();
    return 0;
  }

  // Puts a link's target in front of the parts still to walk; the target counts from the
  // folder that holds the link, which is the current one.
  int Follow(int folder, const char* name, std::deque<std::string>& pending) {
    if (++links_ > kMaxLinks) return ELOOP;
    std::string target;
    if (const int error = ReadLink(folder, name, target); error != 0) return error;
    if (target.empty()) return ENOENT;
    if (target.front() == '/') return EXDEV;
    AppendParts(target, pending, true);
    return 0;
  }

  // Enters the folder `name`, following it when it is a link.
  int Enter(const std::string& name, std::deque<std::string>& pending) {
    UniqueFd entry(::openat(Current(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!entry.valid()) return errno;
    struct stat status {};
    if (::fstat(entry.get(), &status) != 0) return errno;
    if (S_ISLNK(status.st_mode)) return Follow(entry.get(), "", pending);
    if (!S_ISDIR(status.st_mode)) return ENOTDIR;
    folders_.push_back(std::move(entry));
    return 0;
  }

 private:
  int root_;
  std::vector<UniqueFd> folders_;
  int links_ = 0;
};

}  // namespace

Opened OpenRoot(const std::string& path) {
  Opened root{UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))};
  if (!root.fd.valid()) root.error = errno;
  return root;
}

Opened OpenByWalk(int root, std::string_view relative, int flags, mode_t mode) {
  if (!relative.empty() && relative.front() == '/') return {UniqueFd(), EXDEV};
  const bool followLast =
      (flags & O_NOFOLLOW) == 0 && (flags & (O_CREAT | O_EXCL)) != (O_CREAT | O_EXCL);
  std::deque<std::string> pending;
  AppendParts(relative, pending, false);
  Walk walk(root);
  while (!pending.empty()) {
    const std::string name = std::move(pending.front());
    pending.pop_front();
    if (name == "..") {
      if (const int error = walk.Up(); error != 0) return {UniqueFd(), error};
      continue;
    }
    if (!pending.empty()) {
      if (const int error = walk.Enter(name, pending); error != 0) return {UniqueFd(), error};
      continue;
    }
    UniqueFd file(::openat(walk.Current(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode));
    const int error = file.valid() ? 0 : errno;
    // O_PATH opens a link itself; any other open of a link fails (ELOOP, or ENOTDIR with
    // O_DIRECTORY on some kernels).
    struct stat status {};
    const bool openedLink =
        file.valid() && ::fstat(file.get(), &status) == 0 && S_ISLNK(status.st_mode);
    const bool refusedLink =
        (error == ELOOP || error == ENOTDIR) && IsLink(walk.Current(), name.c_str());
    if (followLast && (openedLink || refusedLink)) {
      const int followed = openedLink ? walk.Follow(file.get(), "", pending)
                                      : walk.Follow(walk.Current(), name.c_str(), pending);
      if (followed != 0) return {UniqueFd(), followed};
      continue;
    }
    return {std::move(file), error};
  }
  // The path ended on a folder already entered (empty, ".", "..", or a link to a folder).
  Opened folder{UniqueFd(::openat(walk.Current(), ".", (flags & ~(O_CREAT | O_EXCL)) | O_CLOEXEC))};
  if (!folder.fd.valid()) folder.error = errno;
  return folder;
}

Opened Open(int root, std::string_view relative, int flags, mode_t mode) {
  const std::string path = relative.empty() ? std::string(".") : std::string(relative);
  open_how how{};
  how.flags = static_cast<__u64>(flags | O_CLOEXEC);
  how.mode = Creates(flags) ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  for (int attempt = 0;; ++attempt) {
    const long descriptor = ::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how);
    if (descriptor >= 0) return {UniqueFd(static_cast<int>(descriptor))};
    const int error = errno;
    if (error == ENOSYS) return OpenByWalk(root, relative, flags, mode);
    if (error != EAGAIN || attempt >= kMaxRetries) return {UniqueFd(), error};
  }
}

Entry OpenEntry(int root, std::string_view relative) {
  while (relative.size() > 1 && relative.back() == '/') relative.remove_suffix(1);
  const std::size_t slash = relative.rfind('/');
  const std::string_view name =
      slash == std::string_view::npos ? relative : relative.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return {UniqueFd(), std::string(), EINVAL};
  const std::string_view folderPath =
      slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash + 1);
  Opened folder = Open(root, folderPath, O_RDONLY | O_DIRECTORY);
  return {std::move(folder.fd), std::string(name), folder.error};
}

int MakeFolder(int root, std::string_view relative, mode_t mode) {
  const Entry entry = OpenEntry(root, relative);
  if (entry.error != 0) return entry.error;
  return ::mkdirat(entry.folder.get(), entry.name.c_str(), mode) == 0 ? 0 : errno;
}

int Rename(int root, std::string_view from, std::string_view to, unsigned flags) {
  const Entry source = OpenEntry(root, from);
  if (source.error != 0) return source.error;
  const Entry target = OpenEntry(root, to);
  if (target.error != 0) return target.error;
  return ::renameat2(source.folder.get(), source.name.c_str(), target.folder.get(),
                     target.name.c_str(), flags) == 0
             ? 0
             : errno;
}

int Unlink(int root, std::string_view relative, int flags) {
  const Entry entry = OpenEntry(root, relative);
  if (entry.error != 0) return entry.error;
  return ::unlinkat(entry.folder.get(), entry.name.c_str(), flags) == 0 ? 0 : errno;
}

}  // namespace ravlin::beneath

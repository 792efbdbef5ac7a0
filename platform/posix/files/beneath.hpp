#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/posix/runtime/unique_fd.hpp"

// Files reached strictly below a root folder. A relative path ('/' between its parts) is
// resolved inside the root as the kernel's RESOLVE_BENEATH does: ".." and symbolic links are
// followed while they stay inside; an absolute path, an absolute link, a link or ".." that
// leads above the root fail with EXDEV, a /proc "magic" link with ELOOP. Nothing outside the
// root is ever opened, created, renamed or removed. Calls report errno values (0 = success).
namespace ravlin::beneath {

// A descriptor, or the errno value that kept it from being opened.
struct Opened {
  UniqueFd fd;
  int error = 0;
};

// The folder that holds the last part of a path, opened beneath the root (O_RDONLY |
// O_DIRECTORY, so it can be flushed), and that part's name. The *at calls on (folder, name)
// act on the entry itself and never follow it: mkdirat, unlinkat, renameat, linkat, fstatat
// with AT_SYMLINK_NOFOLLOW.
struct Entry {
  UniqueFd folder;
  std::string name;
  int error = 0;
};

// Opens a folder the user chose as the root for the calls below. The path itself may pass
// through links: the root is what it resolves to now.
Opened OpenRoot(const std::string& path);

// openat() of `relative` beneath `root` with `flags` (O_CLOEXEC is always added; `mode` for
// O_CREAT). An empty path or "." is the root itself. Uses openat2 and falls back to
// OpenByWalk where the kernel lacks it.
Opened Open(int root, std::string_view relative, int flags, mode_t mode = 0);

// The same resolution done one part at a time with O_NOFOLLOW, reading each link found and
// refusing it as RESOLVE_BENEATH would. Public so that both ways can be tested.
Opened OpenByWalk(int root, std::string_view relative, int flags, mode_t mode = 0);

// The folder and name of the last part of `relative`; EINVAL when that part is empty, "."
// or "..".
Entry OpenEntry(int root, std::string_view relative);

// mkdirat of one folder whose parent exists beneath the root.
int MakeFolder(int root, std::string_view relative, mode_t mode = 0777);

// renameat2 of one entry to another, both beneath the root (`flags`: RENAME_NOREPLACE ...).
int Rename(int root, std::string_view from, std::string_view to, unsigned flags = 0);

// unlinkat of one entry beneath the root (`flags`: AT_REMOVEDIR for a folder). A link is
// removed itself, never what it leads to.
int Unlink(int root, std::string_view relative, int flags = 0);

}  // namespace ravlin::beneath

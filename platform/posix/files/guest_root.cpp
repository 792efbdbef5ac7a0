#include "platform/posix/files/guest_root.hpp"

#include <fcntl.h>

#include <cerrno>

#include "platform/posix/runtime/posix_errors.hpp"

namespace fs = std::filesystem;

namespace ravlin {

void GuestRoot::Choose(const fs::path& native) {
  const fs::path normal = native.lexically_normal();
  beneath::Opened root = normal.empty() ? beneath::Opened{} : beneath::OpenRoot(normal.string());
  root_ = std::move(root.fd);
  error_ = root.error;
  path_ = normal;
}

std::optional<std::string> GuestRoot::Below(const fs::path& native) const {
  if (path_.empty()) return std::nullopt;
  const fs::path normal = native.lexically_normal();
  auto part = normal.begin();
  for (const fs::path& rootPart : path_) {
    if (rootPart.empty()) continue;  // the empty last part of a path ending in '/'
    if (part == normal.end() || *part != rootPart) return std::nullopt;
    ++part;
  }
  std::string relative;
  for (; part != normal.end(); ++part) {
    if (part->empty()) continue;
    if (!relative.empty()) relative += '/';
    relative += part->string();
  }
  if (relative.empty()) return std::nullopt;
  return relative;
}

beneath::Opened GuestRoot::Open(const fs::path& native, int flags, mode_t mode) const {
  if (const auto relative = Below(native)) {
    if (error_ != 0) return {UniqueFd(), error_};
    return beneath::Open(root_.get(), *relative, flags, mode);
  }
  beneath::Opened file{UniqueFd(::open(native.c_str(), flags | O_CLOEXEC, mode))};
  if (!file.fd.valid()) file.error = errno;
  return file;
}

beneath::Entry GuestRoot::EntryOf(const fs::path& native) const {
  if (const auto relative = Below(native)) {
    if (error_ != 0) return {UniqueFd(), std::string(), error_};
    return beneath::OpenEntry(root_.get(), *relative);
  }
  const fs::path normal = native.lexically_normal();
  std::string name = normal.filename().string();
  if (name.empty() || name == "." || name == "..") return {UniqueFd(), std::string(), EINVAL};
  beneath::Entry entry{
      UniqueFd(::open(normal.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
      std::move(name)};
  if (!entry.folder.valid()) entry.error = errno;
  return entry;
}

beneath::Entry EntryOrThrow(const GuestRoot& guest, const fs::path& native,
                            std::int32_t notFoundNumber) {
  beneath::Entry entry = guest.EntryOf(native);
  if (entry.error != 0) throw ErrorFromErrno(entry.error, notFoundNumber);
  return entry;
}

}  // namespace ravlin

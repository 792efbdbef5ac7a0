#include "platform/posix/registry/posix_registry_mounts.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/codepage.hpp"
#include "platform/posix/registry/posix_registry_names.hpp"
#include "platform/posix/registry/posix_registry_storage.hpp"
#include "platform/registry.hpp"

namespace ravlin {
namespace {

constexpr const char* kTableName = "mounts";

// One mount a line: root, name and path separated by tabs; a backslash, tab or line break
// inside a field is escaped, since Linux file names may hold them.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      ++i;
      out += text[i] == 't' ? '\t' : text[i] == 'n' ? '\n' : text[i];
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::string StateText(const FileState& state) {
  return std::to_string(state.device) + ':' + std::to_string(state.inode) + ':' +
         std::to_string(state.size) + ':' + std::to_string(state.changed.tv_sec) + ':' +
         std::to_string(state.changed.tv_nsec);
}

bool ParseState(const std::string& text, FileState& state) {
  unsigned long long device = 0, inode = 0, seconds = 0;
  long long size = 0, nanoseconds = 0;
  if (std::sscanf(text.c_str(), "%llu:%llu:%lld:%llu:%lld", &device, &inode, &size, &seconds,
                  &nanoseconds) != 5)
    return false;
  state.device = static_cast<dev_t>(device);
  state.inode = static_cast<ino_t>(inode);
  state.size = static_cast<off_t>(size);
  state.changed.tv_sec = static_cast<time_t>(seconds);
  state.changed.tv_nsec = static_cast<long>(nanoseconds);
  return true;
}

constexpr std::size_t kFields = 7;

}  // namespace

std::vector<Mount> MountTable::Read() const {
  // Every registry call looks at the table; it is read again only once it was replaced.
  FileState table;
  struct stat info {};
  if (::lstat((store_ / kTableName).c_str(), &info) != 0) return {};
  table = FileState::Of(info);
  if (read_ && read_->first == table) return read_->second;
  std::vector<Mount> mounts;
  std::ifstream in(store_ / kTableName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const auto fields = SplitFields(line);
    Mount mount;
    if (fields.size() != kFields || fields[1].empty() || fields[2].empty() || fields[3].empty() ||
        fields[4].empty() || !ParseState(fields[5], mount.guest) ||
        !ParseState(fields[6], mount.copied))
      continue;
    mount.root = fields[0];
    mount.name = fields[1];
    mount.top = fields[2];
    mount.hive = fields[3];
    mount.file = mount.top / mount.hive;
    mount.copy = fields[4];
    mounts.push_back(std::move(mount));
  }
  read_.emplace(table, mounts);
  return mounts;
}

std::int32_t MountTable::Write(const std::vector<Mount>& mounts) const {
  std::ostringstream text;
  for (const auto& mount : mounts)
    text << Escape(mount.root) << '\t' << Escape(mount.name) << '\t' << Escape(mount.top.string())
         << '\t' << Escape(mount.hive) << '\t' << Escape(mount.copy) << '\t'
         << StateText(mount.guest) << '\t' << StateText(mount.copied) << '\n';
  const auto content = text.str();
  UniqueFd folder(::open(store_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return StatusFromErrno(errno);
  // Replaced whole, never flushed: a crash that loses the latest table loses mounts whose
  // working copies are scratch as well, while the guest's hive is only ever written durably,
  // on its own.
  PendingReplacement replacement(folder.get(), kTableName);
  if (const auto status = replacement.Create(); status != kErrorSuccess) return status;
  if (const int error = WriteFully(replacement.fd(), content.data(), content.size()); error != 0)
    return StatusFromErrno(error);
  return replacement.Install(nullptr, nullptr, /*durable=*/false);
}

std::optional<Mount> MountTable::Find(const std::vector<Mount>& mounts, const std::string& root,
                                      const std::string& name) {
  for (const auto& mount : mounts)
    if (mount.root == root && SameRegistryName(AnsiToUtf8(mount.name), AnsiToUtf8(name)))
      return mount;
  return std::nullopt;
}

std::string ImportSocketName(const Mount& mount) {
  return std::filesystem::path(mount.copy).replace_extension(".sock").string();
}

}  // namespace ravlin

#include "platform/posix/posix_registry_mounts.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "platform/codepage.hpp"
#include "platform/posix/posix_registry_names.hpp"
#include "platform/posix/posix_registry_storage.hpp"
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

}  // namespace

std::vector<Mount> MountTable::Read() const {
  std::vector<Mount> mounts;
  std::ifstream in(store_ / kTableName, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const auto fields = SplitFields(line);
    if (fields.size() == 3 && !fields[1].empty() && !fields[2].empty())
      mounts.push_back(Mount{fields[0], fields[1], fields[2]});
  }
  return mounts;
}

std::int32_t MountTable::Write(const std::vector<Mount>& mounts) const {
  std::ostringstream text;
  for (const auto& mount : mounts)
    text << Escape(mount.root) << '\t' << Escape(mount.name) << '\t' << Escape(mount.file.string())
         << '\n';
  const auto content = text.str();
  UniqueFd folder(::open(store_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return StatusFromErrno(errno);
  return DurablyReplace(
      folder.get(), kTableName,
      [&](int fd) { return WriteFully(fd, content.data(), content.size()); }, nullptr,
      /*keepExisting=*/false);
}

std::optional<Mount> MountTable::Find(const std::vector<Mount>& mounts, const std::string& root,
                                      const std::string& name) {
  for (const auto& mount : mounts)
    if (mount.root == root && SameRegistryName(AnsiToUtf8(mount.name), AnsiToUtf8(name)))
      return mount;
  return std::nullopt;
}

}  // namespace ravlin

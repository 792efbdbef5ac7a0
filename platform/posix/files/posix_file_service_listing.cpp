#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <span>
#include <vector>

#include "platform/pe_version.hpp"
#include "platform/posix/files/dos_attributes.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "platform/posix/runtime/posix_errors.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "platform/sha256.hpp"
#include "platform/text_bytes.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

enum class EntryKind { kFile, kFolder, kOther };

// A link to a file counts as a file; links to folders are not followed, so that a listing
// cannot run in circles or leave the tree; devices, pipes and sockets are no files here.
EntryKind KindOf(int folderFd, const dirent& entry) {
  if (entry.d_type == DT_REG) return EntryKind::kFile;
  if (entry.d_type == DT_DIR) return EntryKind::kFolder;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return EntryKind::kOther;
  struct stat status {};
  if (::fstatat(folderFd, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
    return EntryKind::kOther;
  if (S_ISDIR(status.st_mode)) return EntryKind::kFolder;
  if (S_ISLNK(status.st_mode) && ::fstatat(folderFd, entry.d_name, &status, 0) != 0)
    return EntryKind::kOther;
  return S_ISREG(status.st_mode) ? EntryKind::kFile : EntryKind::kOther;
}

// The drive-letter text of `native`, which the text `given` named: the drive of `given` and
// the components below the drive's root as the disk spells them.
std::string WindowsPathOf(const DriveTable& drives, const std::string& given,
                          const fs::path& native) {
  if (given.size() < 2 || given[1] != ':') return drives.ToWindows(native);
  const auto root = drives.RootOf(given[0]);
  if (!root) return drives.ToWindows(native);
  std::string text{UpperAscii(given[0]), ':', '\\'};
  bool first = true;
  for (const fs::path& part : native.lexically_relative(*root)) {
    if (part.empty() || part == ".") continue;
    if (!first) text += '\\';
    text += part.string();
    first = false;
  }
  return text;
}

// Names in the order NTFS keeps them: compared ignoring case.
bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Compares two names ignoring case, as NTFS orders them. Names of plain ASCII, nearly all of
// them, are compared in place: a listing compares every name many times.
int CompareIgnoringCase(const std::string& a, const std::string& b) {
  if (!IsAscii(a) || !IsAscii(b)) return FoldedName(a).compare(FoldedName(b));
  return CompareIgnoringAsciiCase(a, b);
}

std::vector<std::string> SortedNames(std::vector<std::string> utf8Names) {
  std::sort(utf8Names.begin(), utf8Names.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareIgnoringCase(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  return utf8Names;
}

std::vector<std::string> FullPaths(const std::string& folder,
                                   const std::vector<std::string>& utf8Names) {
  const std::string prefix = folder.ends_with('\\') ? folder : folder + '\\';
  std::vector<std::string> paths;
  paths.reserve(utf8Names.size());
  for (const std::string& name : utf8Names) paths.push_back(prefix + name);
  return paths;
}

FileTime TimeOf(const struct timespec& when) {
  return FileTime(std::chrono::duration_cast<FileTime::duration>(
      std::chrono::seconds(when.tv_sec) + std::chrono::nanoseconds(when.tv_nsec)));
}

// The creation time where the file system records one, else the last change of content.
FileTime CreationTime(const fs::path& native, const struct stat& status) {
  struct statx extended {};
  if (::statx(AT_FDCWD, native.c_str(), 0, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME) != 0)
    return TimeOf({static_cast<time_t>(extended.stx_btime.tv_sec),
                   static_cast<long>(extended.stx_btime.tv_nsec)});
  return TimeOf(status.st_mtim);
}

// The type descriptions Windows shows for the files a Windows installation holds; any other
// extension gives "<EXT> File", as Windows does for types it does not know.
std::string TypeDescription(const std::string& windowsPath) {
  static const std::map<std::string, std::string> kKnown{
      {"BAT", "MS-DOS Batch File"},     {"CMD", "Windows Command Script"},
      {"DLL", "Application Extension"}, {"EXE", "Application"},
      {"INF", "Setup Information"},     {"INI", "Configuration Settings"},
      {"LOG", "Text Document"},         {"REG", "Registration Entries"},
      {"SYS", "System file"},           {"TXT", "Text Document"}};
  const auto slash = windowsPath.find_last_of('\\');
  const std::string name = windowsPath.substr(slash == std::string::npos ? 0 : slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return "File";
  const std::string extension = UpperAscii(name.substr(dot + 1));
  const auto known = kKnown.find(extension);
  return known != kKnown.end() ? known->second : extension + " File";
}

// Opens a regular file for reading; a folder or a missing file is 53, a device or pipe 75.
// A regular file opened for reading, beneath the guest folder when it lies below it. The open
// never waits (a FIFO would block it until a writer came); a folder is 53, anything else that
// is no regular file 75.
UniqueFd OpenRegularFile(const GuestRoot& guest, const fs::path& native, struct stat& status) {
  beneath::Opened opened = guest.Open(native, O_RDONLY | O_NONBLOCK);
  if (!opened.fd.valid()) throw ErrorFromErrno(opened.error);
  if (::fstat(opened.fd.get(), &status) != 0) throw ErrorFromErrno(errno);
  if (S_ISDIR(status.st_mode)) throw RuntimeError(vb_error::kFileNotFound);
  if (!S_ISREG(status.st_mode)) throw RuntimeError(vb_error::kPathFileAccessError);
  return std::move(opened.fd);
}

// Up to `length` bytes from `offset` of an open file; fewer only at its end.
std::string ReadAt(int fd, std::uint64_t offset, std::size_t length) {
  std::string content(length, '\0');
  std::size_t filled = 0;
  while (filled < length) {
    const ssize_t count =
        ::pread(fd, content.data() + filled, length - filled, static_cast<off_t>(offset + filled));
    if (count < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  content.resize(filled);
  return content;
}

// The whole content of a regular file.
std::string ReadWholeFile(const GuestRoot& guest, const fs::path& native) {
  struct stat status {};
  const UniqueFd file = OpenRegularFile(guest, native, status);
  std::string content;
  content.resize(static_cast<std::size_t>(status.st_size));
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) content.resize(content.size() + 4096);
    const ssize_t count = ::read(file.get(), content.data() + filled, content.size() - filled);
    if (count < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  content.resize(filled);
  return content;
}

}  // namespace

FolderListing PosixFileService::GetFolder(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kPathNotFound);
  const fs::path native = NativePathOrThrow(*drives_, path);
  const UniqueDir folder(::opendir(native.c_str()));
  if (folder.get() == nullptr) throw ErrorFromErrno(errno, vb_error::kPathNotFound);

  std::vector<std::string> files;
  std::vector<std::string> subFolders;
  const int folderFd = ::dirfd(folder.get());
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(folder.get());
    if (entry == nullptr) {
      if (errno != 0) throw ErrorFromErrno(errno, vb_error::kPathNotFound);
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    switch (KindOf(folderFd, *entry)) {
      case EntryKind::kFile:
        files.emplace_back(name);
        break;
      case EntryKind::kFolder:
        subFolders.emplace_back(name);
        break;
      case EntryKind::kOther:
        break;
    }
  }

  const std::string folderText = WindowsPathOf(*drives_, path, native);
  FolderListing listing;
  listing.files = FullPaths(folderText, SortedNames(std::move(files)));
  listing.subFolders = FullPaths(folderText, SortedNames(std::move(subFolders)));
  return listing;
}

FileDetails PosixFileService::GetFile(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  const fs::path native = NativePathOrThrow(*drives_, path);
  struct stat status {};
  if (::stat(native.c_str(), &status) != 0) throw ErrorFromErrno(errno);
  if (!S_ISREG(status.st_mode)) throw RuntimeError(vb_error::kFileNotFound);

  FileDetails details;
  details.path = WindowsPathOf(*drives_, path, native);
  details.drive = details.path.size() >= 2 && details.path[1] == ':' ? details.path.substr(0, 2)
                                                                     : std::string();
  const auto slash = details.path.find_last_of('\\');
  if (slash != std::string::npos)
    details.parentFolder = details.path.substr(0, slash == 2 ? 3 : slash);
  details.size = static_cast<std::uint64_t>(status.st_size);
  details.type = TypeDescription(details.path);
  details.lastAccessed = TimeOf(status.st_atim);
  details.lastModified = TimeOf(status.st_mtim);
  details.created = CreationTime(native, status);
  details.attributes = ReadDosAttributes(native, status);
  details.volumeId = static_cast<std::uint64_t>(status.st_dev);
  details.fileId = static_cast<std::uint64_t>(status.st_ino);
  return details;
}

std::string PosixFileService::ReadAllText(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  return ReadWholeFile(*guest_, NativePathOrThrow(*drives_, path));
}

FilePart PosixFileService::ReadFilePart(const std::string& path, std::uint64_t offset,
                                        std::size_t length) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  struct stat status {};
  const UniqueFd file = OpenRegularFile(*guest_, NativePathOrThrow(*drives_, path), status);
  FilePart part;
  part.fileSize = static_cast<std::uint64_t>(status.st_size);
  if (offset < part.fileSize)
    part.bytes =
        ReadAt(file.get(), offset, std::min<std::uint64_t>(length, part.fileSize - offset));
  return part;
}

FileDigest PosixFileService::DigestFile(const std::string& path, std::uint64_t largest) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  struct stat status {};
  const UniqueFd file = OpenRegularFile(*guest_, NativePathOrThrow(*drives_, path), status);
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size > largest) return {size, std::nullopt};
  // One buffer for the whole file, and no piece allocated, filled or opened again: the digest
  // then costs little more than the hash itself.
  constexpr std::size_t kPiece = 4 << 20;
  std::vector<std::uint8_t> buffer(std::min<std::uint64_t>(size, kPiece));
  Sha256 digest;
  for (std::uint64_t at = 0; at < size;) {
    const auto got =
        ::pread(file.get(), buffer.data(), std::min<std::uint64_t>(buffer.size(), size - at),
                static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ErrorFromErrno(errno);
    // A file cut short while it is read is digested as far as it goes.
    if (got == 0) return {at, digest.Hex()};
    digest.Add(std::span(buffer.data(), static_cast<std::size_t>(got)));
    at += static_cast<std::uint64_t>(got);
  }
  return {size, digest.Hex()};
}

std::string PosixFileService::GetFileVersion(const std::string& path) {
  if (HasWildcards(path)) throw RuntimeError(vb_error::kFileNotFound);
  const std::string image = ReadWholeFile(*guest_, NativePathOrThrow(*drives_, path));
  return PeFileVersion(
      std::span(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
}

}  // namespace ravlin

#include "platform/posix/files/dos_attributes.hpp"

#include <sys/xattr.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "platform/posix/runtime/posix_errors.hpp"

namespace ravlin {
namespace {

constexpr const char* kNtfsAttribBigEndian = "system.ntfs_attrib_be";
constexpr const char* kNtfsAttrib = "system.ntfs_attrib";
constexpr const char* kSambaAttrib = "user.DOSATTRIB";

constexpr std::uint32_t kStoredBits =
    dos_attribute::kHidden | dos_attribute::kSystem | dos_attribute::kArchive;
// NTFS marks an entry without any other attribute as "normal".
constexpr std::uint32_t kNtfsNormal = 0x80;

enum class Store { kNtfsBigEndian, kNtfsNative, kSamba };

struct StoredAttributes {
  Store store;
  std::uint32_t value;
};

bool NoWriteBit(mode_t mode) {
  return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::optional<std::uint32_t> ReadNtfs(const std::filesystem::path& native, const char* name,
                                      bool bigEndian) {
  std::array<unsigned char, 4> bytes{};
  if (::getxattr(native.c_str(), name, bytes.data(), bytes.size()) != 4) return std::nullopt;
  if (bigEndian)
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
  // ntfs-3g hands this one over in the machine's own byte order.
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data(), bytes.size());
  return value;
}

// Samba's attribute starts with the text "0x" and hexadecimal digits (its newer binary forms
// keep that text in front).
std::optional<std::uint32_t> ReadSamba(const std::filesystem::path& native) {
  std::array<char, 256> text{};
  const ssize_t length = ::getxattr(native.c_str(), kSambaAttrib, text.data(), text.size() - 1);
  if (length < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  std::uint32_t value = 0;
  bool anyDigit = false;
  for (ssize_t i = 2; i < length && i < 10; ++i) {
    const char c = text[static_cast<std::size_t>(i)];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) break;
    value = value * 16 + static_cast<std::uint32_t>(digit);
    anyDigit = true;
  }
  if (!anyDigit) return std::nullopt;
  return value;
}

std::optional<StoredAttributes> ReadStored(const std::filesystem::path& native) {
  if (const auto value = ReadNtfs(native, kNtfsAttribBigEndian, true))
    return StoredAttributes{Store::kNtfsBigEndian, *value};
  if (const auto value = ReadNtfs(native, kNtfsAttrib, false))
    return StoredAttributes{Store::kNtfsNative, *value};
  if (const auto value = ReadSamba(native)) return StoredAttributes{Store::kSamba, *value};
  return std::nullopt;
}

bool IsDotName(const std::filesystem::path& native) {
  const std::string name = native.filename().string();
  return name.size() > 1 && name.front() == '.' && name != "..";
}

// Whether the file system keeps no extended attributes of this kind (tmpfs of older kernels,
// FAT, ...); setting the bits is then a no-op.
bool Unsupported(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP;
}

void WriteStored(const std::filesystem::path& native, const std::optional<StoredAttributes>& old,
                 std::uint16_t attributes, bool isDirectory) {
  if (old && old->store != Store::kSamba) {
    std::uint32_t value = (old->value & ~(kStoredBits | dos_attribute::kReadOnly | kNtfsNormal)) |
                          (attributes & (kStoredBits | dos_attribute::kReadOnly));
    if (value == 0 && !isDirectory) value = kNtfsNormal;
    std::array<unsigned char, 4> bytes{};
    if (old->store == Store::kNtfsBigEndian) {
      for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * (3 - i)));
    } else {
      std::memcpy(bytes.data(), &value, bytes.size());
    }
    const char* name = old->store == Store::kNtfsBigEndian ? kNtfsAttribBigEndian : kNtfsAttrib;
    if (::setxattr(native.c_str(), name, bytes.data(), bytes.size(), 0) != 0)
      throw ErrorFromErrno(errno);
    return;
  }
  std::array<char, 16> text{};
  const int length =
      std::snprintf(text.data(), text.size(), "0x%x",
                    static_cast<unsigned>(attributes & (kStoredBits | dos_attribute::kReadOnly)));
  if (::setxattr(native.c_str(), kSambaAttrib, text.data(), static_cast<std::size_t>(length), 0) !=
          0 &&
      !Unsupported(errno))
    throw ErrorFromErrno(errno);
}

}  // namespace

std::uint16_t ReadDosAttributes(const std::filesystem::path& native) {
  struct stat status {};
  if (::stat(native.c_str(), &status) != 0) throw ErrorFromErrno(errno);
  return ReadDosAttributes(native, status);
}

std::uint16_t ReadDosAttributes(const std::filesystem::path& native, const struct stat& status) {
  const bool isDirectory = S_ISDIR(status.st_mode);
  std::uint32_t attributes = isDirectory ? dos_attribute::kDirectory : 0;
  if (NoWriteBit(status.st_mode)) attributes |= dos_attribute::kReadOnly;
  if (const auto stored = ReadStored(native)) {
    attributes |= stored->value & kStoredBits;
    if (stored->store != Store::kSamba) attributes |= stored->value & dos_attribute::kReadOnly;
  } else if (!isDirectory) {
    attributes |= dos_attribute::kArchive;
  }
  if (IsDotName(native)) attributes |= dos_attribute::kHidden;
  return static_cast<std::uint16_t>(attributes);
}

void WriteDosAttributes(const std::filesystem::path& native, std::uint16_t attributes) {
  struct stat status {};
  if (::stat(native.c_str(), &status) != 0) throw ErrorFromErrno(errno);
  const auto stored = ReadStored(native);
  const bool ntfs = stored && stored->store != Store::kSamba;

  const bool readOnly = (attributes & dos_attribute::kReadOnly) != 0;
  mode_t mode = status.st_mode & 07777;
  if (readOnly)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else if (NoWriteBit(mode))
    mode |= S_IWUSR;
  // ntfs-3g without permission mapping refuses chmod; its own read-only bit then holds.
  if (mode != (status.st_mode & 07777) && ::chmod(native.c_str(), mode) != 0 && !ntfs)
    throw ErrorFromErrno(errno);

  WriteStored(native, stored, attributes, S_ISDIR(status.st_mode));
}

}  // namespace ravlin

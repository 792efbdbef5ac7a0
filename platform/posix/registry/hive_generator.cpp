#include "platform/posix/registry/hive_generator.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <system_error>

#include "platform/hive_base_block.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::size_t kHeaderSize = 0x1000;
constexpr std::size_t kBinSize = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
constexpr std::size_t kKeyNameOffset = 0x4C;
constexpr std::uint32_t kNoCell = 0xFFFFFFFF;
// KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME: the root of a hive, its name in ASCII.
constexpr std::uint16_t kRootKeyFlags = 0x0004 | 0x0008 | 0x0020;

class ImageWriter {
 public:
  explicit ImageWriter(std::vector<std::uint8_t>& image) : image_(image) {}

  void U16(std::size_t at, std::uint16_t value) { Bytes(at, Le16Bytes(value)); }
  void U32(std::size_t at, std::uint32_t value) { Bytes(at, Le32Bytes(value)); }
  void U64(std::size_t at, std::uint64_t value) { Bytes(at, Le64Bytes(value)); }
  void Bytes(std::size_t at, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) image_.at(at + i) = bytes[i];
  }
  void Text(std::size_t at, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i)
      image_.at(at + i) = static_cast<std::uint8_t>(text[i]);
  }

 private:
  std::vector<std::uint8_t>& image_;
};

std::uint64_t FileTimeNow() {
  // 100 ns intervals since 1601-01-01.
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
  const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
  return kUnixEpochAsFileTime +
         static_cast<std::uint64_t>(
             std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100);
}

std::size_t RoundUpTo8(std::size_t size) {
  return (size + 7) & ~std::size_t{7};
}

std::vector<std::uint8_t> Sid(std::uint8_t authority, std::vector<std::uint32_t> subAuthorities) {
  std::vector<std::uint8_t> sid{
      1, static_cast<std::uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, authority};
  for (auto part : subAuthorities) AppendLe32(sid, part);
  return sid;
}

// A self-relative security descriptor as Windows gives a new hive's root: owner
// Administrators, group SYSTEM; full control for Administrators and SYSTEM, read for
// Everyone, inherited by subkeys.
std::vector<std::uint8_t> RootSecurityDescriptor() {
  const auto administrators = Sid(5, {32, 544});
  const auto system = Sid(5, {18});
  const auto everyone = Sid(1, {0});
  constexpr std::uint32_t kKeyAllAccess = 0xF003F;
  constexpr std::uint32_t kKeyRead = 0x20019;
  constexpr std::uint8_t kAccessAllowed = 0;
  constexpr std::uint8_t kContainerInherit = 0x02;

  std::vector<std::uint8_t> aces;
  std::uint16_t aceCount = 0;
  auto addAce = [&](std::uint32_t mask, const std::vector<std::uint8_t>& sid) {
    aces.push_back(kAccessAllowed);
    aces.push_back(kContainerInherit);
    AppendLe16(aces, static_cast<std::uint16_t>(8 + sid.size()));
    AppendLe32(aces, mask);
    aces.insert(aces.end(), sid.begin(), sid.end());
    ++aceCount;
  };
  addAce(kKeyAllAccess, administrators);
  addAce(kKeyAllAccess, system);
  addAce(kKeyRead, everyone);

  std::vector<std::uint8_t> acl{2, 0};
  AppendLe16(acl, static_cast<std::uint16_t>(8 + aces.size()));
  AppendLe16(acl, aceCount);
  AppendLe16(acl, 0);
  acl.insert(acl.end(), aces.begin(), aces.end());

  constexpr std::uint16_t kSelfRelativeWithDacl = 0x8004;
  constexpr std::uint32_t kDescriptorHeaderSize = 20;
  const auto ownerAt = kDescriptorHeaderSize;
  const auto groupAt = ownerAt + static_cast<std::uint32_t>(administrators.size());
  const auto daclAt = groupAt + static_cast<std::uint32_t>(system.size());
  std::vector<std::uint8_t> descriptor{1, 0};
  AppendLe16(descriptor, kSelfRelativeWithDacl);
  AppendLe32(descriptor, ownerAt);
  AppendLe32(descriptor, groupAt);
  AppendLe32(descriptor, 0);  // no SACL
  AppendLe32(descriptor, daclAt);
  descriptor.insert(descriptor.end(), administrators.begin(), administrators.end());
  descriptor.insert(descriptor.end(), system.begin(), system.end());
  descriptor.insert(descriptor.end(), acl.begin(), acl.end());
  return descriptor;
}

}  // namespace

std::uint32_t HiveHeaderChecksum(const std::uint8_t* header) {
  return BaseBlockXor(std::span(header, hive_base::kSector));
}

std::vector<std::uint8_t> EmptyHiveImage(const std::string& rootKeyName) {
  if (rootKeyName.empty() || rootKeyName.size() > 255)
    throw std::invalid_argument("a hive's root key needs a name of 1 to 255 characters");
  for (char c : rootKeyName)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E || c == '\\')
      throw std::invalid_argument("a hive's root key name must be printable ASCII without '\\'");

  std::vector<std::uint8_t> image(kHeaderSize + kBinSize, 0);
  ImageWriter out(image);
  const auto now = FileTimeNow();

  // Cells are addressed relative to the first bin; each starts with its size, negative
  // while in use.
  const std::uint32_t rootCell = kBinHeaderSize;
  const std::size_t rootCellSize = RoundUpTo8(4 + kKeyNameOffset + rootKeyName.size());
  const std::uint32_t securityCell = static_cast<std::uint32_t>(rootCell + rootCellSize);
  const auto descriptor = RootSecurityDescriptor();
  const std::size_t securityCellSize = RoundUpTo8(4 + 0x14 + descriptor.size());
  const std::uint32_t freeCell = static_cast<std::uint32_t>(securityCell + securityCellSize);

  // Bin header.
  const std::size_t bin = kHeaderSize;
  out.Text(bin, "hbin");
  out.U32(bin + 0x04, 0);  // offset from the first bin
  out.U32(bin + 0x08, kBinSize);
  out.U64(bin + 0x14, now);

  // Root key (nk).
  const std::size_t nk = bin + rootCell;
  out.U32(nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(rootCellSize)));
  const std::size_t key = nk + 4;
  out.Text(key, "nk");
  out.U16(key + 0x02, kRootKeyFlags);
  out.U64(key + 0x04, now);
  out.U32(key + 0x10, kNoCell);  // parent: none for the root
  out.U32(key + 0x1C, kNoCell);  // subkey list
  out.U32(key + 0x20, kNoCell);  // volatile subkey list
  out.U32(key + 0x28, kNoCell);  // value list
  out.U32(key + 0x2C, securityCell);
  out.U32(key + 0x30, kNoCell);  // class name
  out.U16(key + 0x48, static_cast<std::uint16_t>(rootKeyName.size()));
  out.Text(key + kKeyNameOffset, rootKeyName);

  // Its security record (sk), the only one: the list of records links it to itself.
  const std::size_t sk = bin + securityCell;
  out.U32(sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(securityCellSize)));
  const std::size_t security = sk + 4;
  out.Text(security, "sk");
  out.U32(security + 0x04, securityCell);
  out.U32(security + 0x08, securityCell);
  out.U32(security + 0x0C, 1);  // used by one key
  out.U32(security + 0x10, static_cast<std::uint32_t>(descriptor.size()));
  out.Bytes(security + 0x14, descriptor);

  // The rest of the bin is one free cell.
  out.U32(bin + freeCell, static_cast<std::uint32_t>(kBinSize - freeCell));

  // Header block.
  out.Text(0, "regf");
  out.U32(0x04, 1);  // primary sequence number
  out.U32(0x08, 1);  // secondary: equal, the hive was closed cleanly
  out.U64(0x0C, now);
  out.U32(0x14, 1);  // format 1.5
  out.U32(0x18, 5);
  out.U32(0x1C, 0);  // primary file
  out.U32(0x20, 1);  // direct memory load
  out.U32(0x24, rootCell);
  out.U32(0x28, kBinSize);  // size of all bins
  out.U32(0x2C, 1);         // clustering factor
  std::uint32_t checksum = HiveHeaderChecksum(image.data());
  if (checksum == 0 || checksum == 0xFFFFFFFF) {
    // Windows would store an adjusted checksum that libhivex rejects: move the time by one.
    out.U64(0x0C, now + 1);
    checksum = HiveHeaderChecksum(image.data());
  }
  out.U32(0x1FC, checksum);
  return image;
}

void WriteEmptyHive(const std::filesystem::path& file, const std::string& rootKeyName) {
  const auto image = EmptyHiveImage(rootKeyName);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), file.string());
  std::size_t written = 0;
  int error = 0;
  while (written < image.size()) {
    const auto n = ::write(fd, image.data() + written, image.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw std::system_error(error, std::generic_category(), file.string());
}

}  // namespace ravlin

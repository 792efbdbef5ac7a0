#include "platform/posix/files/posix_cabinets.hpp"

#include <fcntl.h>
#include <mspack.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

// Drivers are a few hundred KiB; a member claiming more than this is read as damage rather
// than written out to the temporary folder.
constexpr std::uint32_t kLargestMember = 64u << 20;

std::string MspackErrorText(int error) {
  switch (error) {
    case MSPACK_ERR_OPEN:
      return "cannot be opened";
    case MSPACK_ERR_READ:
      return "read error or the file ends early";
    case MSPACK_ERR_WRITE:
      return "cannot write the extracted file";
    case MSPACK_ERR_SEEK:
      return "seek error";
    case MSPACK_ERR_NOMEMORY:
      return "out of memory";
    case MSPACK_ERR_SIGNATURE:
      return "not a cabinet or compressed file (bad signature)";
    case MSPACK_ERR_DATAFORMAT:
      return "bad data format";
    case MSPACK_ERR_CHECKSUM:
      return "checksum error";
    case MSPACK_ERR_DECRUNCH:
      return "decompression error";
    default:
      return "libmspack error " + std::to_string(error);
  }
}

CabinetRead Damaged(std::string reason) {
  return {CabinetRead::Outcome::kDamaged, {}, std::move(reason)};
}

// A private folder under the system's temporary folder for one extraction, removed with
// what is in it.
class ExtractionFolder {
 public:
  ExtractionFolder() {
    std::string pattern = (fs::temp_directory_path() / "ravlin-cab-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ExtractionFolder(const ExtractionFolder&) = delete;
  ExtractionFolder& operator=(const ExtractionFolder&) = delete;
  ~ExtractionFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }

  bool Valid() const { return !path_.empty(); }
  fs::path Output() const { return path_ / "extracted"; }

 private:
  fs::path path_;
};

CabinetRead ReadExtracted(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Damaged("the extracted file cannot be read");
  CabinetRead read;
  read.outcome = CabinetRead::Outcome::kExtracted;
  read.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return read;
}

std::string_view BaseName(std::string_view name) {
  const std::size_t cut = name.find_last_of("\\/");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

// The decompressors of libmspack, each destroyed with its own function.
template <typename Decompressor, void (*Destroy)(Decompressor*)>
struct DecompressorDeleter {
  void operator()(Decompressor* decompressor) const { Destroy(decompressor); }
};
using CabDecompressor =
    std::unique_ptr<mscab_decompressor,
                    DecompressorDeleter<mscab_decompressor, mspack_destroy_cab_decompressor>>;
using SzddDecompressor =
    std::unique_ptr<msszdd_decompressor,
                    DecompressorDeleter<msszdd_decompressor, mspack_destroy_szdd_decompressor>>;
using KwajDecompressor =
    std::unique_ptr<mskwaj_decompressor,
                    DecompressorDeleter<mskwaj_decompressor, mspack_destroy_kwaj_decompressor>>;

// An open container of one of the formats, closed by its decompressor.
template <typename Decompressor, typename Header>
class OpenContainer {
 public:
  OpenContainer(Decompressor* decompressor, const fs::path& file)
      : decompressor_(decompressor), header_(decompressor->open(decompressor, file.c_str())) {}
  OpenContainer(const OpenContainer&) = delete;
  OpenContainer& operator=(const OpenContainer&) = delete;
  ~OpenContainer() {
    if (header_ != nullptr) decompressor_->close(decompressor_, header_);
  }
  Header* get() const { return header_; }

 private:
  Decompressor* decompressor_;
  Header* header_;
};

// Extracts the member matching `member` (or the only one, when `member` is empty).
CabinetRead ReadCabinet(const fs::path& file, std::string_view member) {
  const CabDecompressor cab(mspack_create_cab_decompressor(nullptr));
  if (!cab) return Damaged("libmspack cannot start");
  const OpenContainer<mscab_decompressor, mscabd_cabinet> cabinet(cab.get(), file);
  if (cabinet.get() == nullptr) return Damaged(MspackErrorText(cab->last_error(cab.get())));
  mscabd_file* found = nullptr;
  for (mscabd_file* entry = cabinet.get()->files; entry != nullptr; entry = entry->next) {
    if (member.empty() || EqualsIgnoringAsciiCase(BaseName(entry->filename), member)) {
      found = entry;
      break;
    }
  }
  if (found == nullptr) return {};
  if (found->length > kLargestMember) return Damaged("the member is too large for a driver");
  const ExtractionFolder folder;
  if (!folder.Valid()) return Damaged("no temporary folder for the extraction");
  const std::string output = folder.Output().string();
  if (const int error = cab->extract(cab.get(), found, output.c_str()); error != MSPACK_ERR_OK)
    return Damaged(MspackErrorText(error));
  return ReadExtracted(folder.Output());
}

template <typename Decompressor, typename Header>
CabinetRead ExpandSingle(Decompressor* decompressor, const fs::path& file) {
  if (decompressor == nullptr) return Damaged("libmspack cannot start");
  const OpenContainer<Decompressor, Header> header(decompressor, file);
  if (header.get() == nullptr)
    return Damaged(MspackErrorText(decompressor->last_error(decompressor)));
  const ExtractionFolder folder;
  if (!folder.Valid()) return Damaged("no temporary folder for the extraction");
  const std::string output = folder.Output().string();
  if (const int error = decompressor->extract(decompressor, header.get(), output.c_str());
      error != MSPACK_ERR_OK)
    return Damaged(MspackErrorText(error));
  return ReadExtracted(folder.Output());
}

// A cabinet or compressed file opened without waiting (a FIFO would block), beneath the guest
// folder when it lies below it; libmspack then reads it through its descriptor's own name.
struct OpenedFile {
  UniqueFd fd;
  std::optional<CabinetRead> refusal;  // kMissing or kDamaged when it cannot be read

  fs::path Path() const { return "/proc/self/fd/" + std::to_string(fd.get()); }
};

OpenedFile OpenExisting(const DriveTable& drives, const GuestRoot& guest, const std::string& path) {
  const auto native = drives.ToNative(path);
  if (!native) return {UniqueFd(), CabinetRead{}};
  beneath::Opened opened = guest.Open(*native, O_RDONLY | O_NONBLOCK);
  if (!opened.fd.valid()) {
    if (opened.error == ENOENT || opened.error == ENOTDIR) return {UniqueFd(), CabinetRead{}};
    if (opened.error == EXDEV || opened.error == ELOOP)
      return {UniqueFd(), Damaged("a link leading out of the Windows folder")};
    return {UniqueFd(), Damaged("cannot be opened: " + std::string(std::strerror(opened.error)))};
  }
  struct stat status {};
  if (::fstat(opened.fd.get(), &status) != 0 || S_ISDIR(status.st_mode))
    return {UniqueFd(), CabinetRead{}};
  if (!S_ISREG(status.st_mode)) return {UniqueFd(), Damaged("not a regular file")};
  return {std::move(opened.fd), std::nullopt};
}

}  // namespace

PosixCabinets::PosixCabinets(std::shared_ptr<const DriveTable> drives,
                             std::shared_ptr<GuestRoot> guest)
    : drives_(std::move(drives)), guest_(std::move(guest)) {}

CabinetRead PosixCabinets::ReadMember(const std::string& cabinet, const std::string& member) {
  const OpenedFile file = OpenExisting(*drives_, *guest_, cabinet);
  if (file.refusal) return *file.refusal;
  return ReadCabinet(file.Path(), member);
}

CabinetRead PosixCabinets::ExpandFile(const std::string& compressed) {
  const OpenedFile file = OpenExisting(*drives_, *guest_, compressed);
  if (file.refusal) return *file.refusal;
  std::array<char, 4> magic{};
  if (::pread(file.fd.get(), magic.data(), magic.size(), 0) != static_cast<ssize_t>(magic.size()))
    magic = {};
  const std::string_view signature(magic.data(), magic.size());
  if (signature == "MSCF") return ReadCabinet(file.Path(), {});
  if (signature == "SZDD") {
    const SzddDecompressor szdd(mspack_create_szdd_decompressor(nullptr));
    return ExpandSingle<msszdd_decompressor, msszddd_header>(szdd.get(), file.Path());
  }
  if (signature == "KWAJ") {
    const KwajDecompressor kwaj(mspack_create_kwaj_decompressor(nullptr));
    return ExpandSingle<mskwaj_decompressor, mskwajd_header>(kwaj.get(), file.Path());
  }
  return Damaged("not a cabinet or compressed file (bad signature)");
}

}  // namespace ravlin

#include "platform/win32/files/win32_cabinets.hpp"

#include <algorithm>
#include <vector>

#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/text/wide_text.hpp"
// SetupAPI builds on windows.h, which windows_api.hpp includes first.
#include <setupapi.h>

namespace ravlin {
namespace {

// Drivers are a few hundred KiB; a member claiming more than this is read as damage rather
// than written out to the temporary folder.
constexpr DWORD kLargestMember = 64u << 20;

CabinetRead Damaged(std::string reason) {
  return {CabinetRead::Outcome::kDamaged, {}, std::move(reason)};
}

std::string SystemReason(DWORD error) {
  return "the system cannot read it (error " + std::to_string(error) + ")";
}

// A new empty file in the temporary folder that receives one extraction, removed afterwards.
class ExtractionFile {
 public:
  ExtractionFile() {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length != 0 && length <= MAX_PATH && ::GetTempFileNameW(folder, L"rcb", 0, name) != 0)
      path_ = name;
  }
  ExtractionFile(const ExtractionFile&) = delete;
  ExtractionFile& operator=(const ExtractionFile&) = delete;
  ~ExtractionFile() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }

  bool Valid() const { return !path_.empty(); }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

std::optional<std::vector<std::uint8_t>> ReadBytes(const std::wstring& path) {
  const auto content = ReadWholeFile(path);
  if (!content) return std::nullopt;
  return std::vector<std::uint8_t>(content->begin(), content->end());
}

CabinetRead Extracted(const std::wstring& path) {
  auto bytes = ReadBytes(path);
  if (!bytes) return Damaged("the extracted file cannot be read");
  return {CabinetRead::Outcome::kExtracted, std::move(*bytes), {}};
}

std::wstring BaseName(const std::wstring& name) {
  const auto cut = name.find_last_of(L"\\/");
  return cut == std::wstring::npos ? name : name.substr(cut + 1);
}

// What one walk through a cabinet looks for and finds.
struct CabinetWalk {
  std::wstring member;  // in capitals; empty: the first member
  std::wstring output;
  bool found = false;
  DWORD size = 0;
  DWORD error = ERROR_SUCCESS;
};

UINT CALLBACK OnCabinetNotice(PVOID context, UINT notice, UINT_PTR first, UINT_PTR) {
  auto& walk = *static_cast<CabinetWalk*>(context);
  switch (notice) {
    case SPFILENOTIFY_FILEINCABINET: {
      auto& file = *reinterpret_cast<FILE_IN_CABINET_INFO_W*>(first);
      if (walk.found ||
          (!walk.member.empty() && UpperCase(BaseName(file.NameInCabinet)) != walk.member))
        return FILEOP_SKIP;
      walk.found = true;
      walk.size = file.FileSize;
      if (file.FileSize > kLargestMember || walk.output.size() >= MAX_PATH) return FILEOP_SKIP;
      std::copy(walk.output.begin(), walk.output.end(), file.FullTargetName);
      file.FullTargetName[walk.output.size()] = L'\0';
      return FILEOP_DOIT;
    }
    case SPFILENOTIFY_FILEEXTRACTED:
      walk.error = reinterpret_cast<FILEPATHS_W*>(first)->Win32Error;
      return NO_ERROR;
    case SPFILENOTIFY_NEEDNEWCABINET:
      // A member continued in the next cabinet of a set: only this one is read.
      walk.error = ERROR_FILE_NOT_FOUND;
      return ERROR_FILE_NOT_FOUND;
    default:
      return NO_ERROR;
  }
}

CabinetRead ReadCabinet(const std::wstring& cabinet, const std::wstring& member) {
  const ExtractionFile output;
  if (!output.Valid()) return Damaged("no temporary file for the extraction");
  const SystemLibrary setupApi(L"setupapi.dll");
  const auto iterate = setupApi.Find<decltype(&::SetupIterateCabinetW)>("SetupIterateCabinetW");
  if (iterate == nullptr) return Damaged(SystemReason(ERROR_PROC_NOT_FOUND));
  CabinetWalk walk{UpperCase(member), output.Path()};
  if (!iterate(cabinet.c_str(), 0, OnCabinetNotice, &walk))
    return Damaged(SystemReason(walk.error != ERROR_SUCCESS ? walk.error : ::GetLastError()));
  if (!walk.found) return {};
  if (walk.size > kLargestMember) return Damaged("the member is too large for a driver");
  if (walk.error != ERROR_SUCCESS) return Damaged(SystemReason(walk.error));
  return Extracted(output.Path());
}

// A KWAJ file: signature, method, offset of the data. Methods 0 (stored) and 1 (each byte
// XOR 0xFF) are read; the compressing ones are reported.
CabinetRead ReadKwaj(const std::vector<std::uint8_t>& file) {
  if (file.size() < 14) return Damaged("the KWAJ header is cut short");
  const unsigned method = file[8] | (file[9] << 8);
  const std::size_t start = file[10] | (file[11] << 8);
  if (start < 14 || start > file.size()) return Damaged("the KWAJ data offset is outside the file");
  if (method > 1)
    return Damaged("KWAJ compression method " + std::to_string(method) + " is not read here");
  std::vector<std::uint8_t> bytes(file.begin() + static_cast<std::ptrdiff_t>(start), file.end());
  if (method == 1)
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(byte ^ 0xFF);
  return {CabinetRead::Outcome::kExtracted, std::move(bytes), {}};
}

std::optional<std::wstring> ExistingFile(const std::string& path) {
  if (path.empty() || HasWildcards(path)) return std::nullopt;
  const std::wstring wide = Wide(path);
  const auto attributes = AttributesOf(wide);
  if (!attributes || IsFolder(*attributes)) return std::nullopt;
  return wide;
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, std::string_view signature) {
  return bytes.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

}  // namespace

CabinetRead Win32Cabinets::ReadMember(const std::string& cabinet, const std::string& member) {
  const auto file = ExistingFile(cabinet);
  if (!file) return {};
  return ReadCabinet(*file, Wide(member));
}

CabinetRead Win32Cabinets::ExpandFile(const std::string& compressed) {
  const auto file = ExistingFile(compressed);
  if (!file) return {};
  const auto bytes = ReadBytes(*file);
  if (!bytes) return Damaged("cannot be opened");
  if (StartsWith(*bytes, "MSCF")) return ReadCabinet(*file, {});
  if (StartsWith(*bytes, "KWAJ")) return ReadKwaj(*bytes);
  // SetupDecompressOrCopyFileW copies what it does not know as it is, so only an SZDD file
  // reaches it.
  if (!StartsWith(*bytes, "SZDD"))
    return Damaged("not a cabinet or compressed file (bad signature)");
  const ExtractionFile output;
  if (!output.Valid()) return Damaged("no temporary file for the extraction");
  const SystemLibrary setupApi(L"setupapi.dll");
  const auto decompress =
      setupApi.Find<decltype(&::SetupDecompressOrCopyFileW)>("SetupDecompressOrCopyFileW");
  if (decompress == nullptr) return Damaged(SystemReason(ERROR_PROC_NOT_FOUND));
  ::DeleteFileW(output.Path().c_str());
  UINT type = FILE_COMPRESSION_WINLZA;
  if (const DWORD error = decompress(file->c_str(), output.Path().c_str(), &type);
      error != NO_ERROR)
    return Damaged(SystemReason(error));
  return Extracted(output.Path());
}

}  // namespace ravlin

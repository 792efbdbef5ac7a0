#include <bit>
#include <chrono>
#include <cmath>

#include "fso/clsFSO.hpp"
#include "fso/path_names.hpp"

namespace ravlin {
namespace {

// Windows' path buffers hold 260 characters.
constexpr std::uint32_t kPathBufferLength = 260;

}  // namespace

float clsFSO::Rnd2(float sngLow, float sngHigh) {
  platform_.ui->DoEvents();
  // The clock is mixed into the generator's own state, so that draws within one tick of the
  // clock still differ.
  const auto ticks =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  const std::uint64_t mixed = random_() ^ ticks ^ (ticks >> 32) ^ (std::uint64_t{random_()} << 21);
  random_.seed(static_cast<std::uint32_t>(mixed ^ (mixed >> 32)));
  // 24 random bits, the precision of a single: 0 <= r < 1.
  const double r = static_cast<double>(random_() >> 8) / 16777216.0;
  const double low = sngLow;
  const double high = sngHigh;
  auto result = static_cast<float>(low + r * (high - low));
  // Rounding to single precision must not reach the upper bound.
  if (sngLow != sngHigh && result == sngHigh) result = std::nextafter(sngHigh, sngLow);
  return result;
}

std::string clsFSO::Create_Tmp_Name(std::int16_t intLength) {
  if (intLength < 1) return "";
  std::string name = "_";
  while (name.size() < static_cast<std::size_t>(intLength)) {
    auto code = static_cast<int>(Rnd2(48, 122));
    if ((code >= 58 && code <= 64) || (code >= 91 && code <= 96)) code += 7;
    name += static_cast<char>(code);
  }
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name;
}

std::string clsFSO::Create_Tmp_Filename(std::string& strTmpFolder) {
  std::string buffer(kPathBufferLength, ' ');
  if (TrimSpaces(strTmpFolder).empty()) strTmpFolder = TemporaryFolder();
  const std::string prefix = Create_Tmp_Name(4);
  // The file could not be created: no name is handed out.
  if (platform_.tempFiles->GetTempFileNameA(strTmpFolder, prefix, 0, buffer) == 0) return "";
  return Remove_Nulls(buffer);
}

std::string clsFSO::Create_Tmp_Filename() {
  std::string strTmpFolder;
  return Create_Tmp_Filename(strTmpFolder);
}

std::string clsFSO::Create_Tmp_Folder() {
  const FileServiceUse fso(platform_);
  const std::string name = Create_Tmp_Name(8);
  const std::string folder = Remove_Trailing_Slash(TemporaryFolder() + name);
  if (!fso->FolderExists(folder)) fso->CreateFolder(folder);
  return Add_Trailing_Slash(folder);
}

std::string clsFSO::TemporaryFolder() {
  std::string buffer(kPathBufferLength, ' ');
  const std::uint32_t length = platform_.tempFiles->GetTempPathA(kPathBufferLength, buffer);
  if (length == 0 || length >= kPathBufferLength) return "C:\\";
  return Add_Trailing_Slash(Remove_Nulls(buffer));
}

}  // namespace ravlin

// The registry-file parser on any bytes: the bytes as a file (any encoding its start names),
// and the same bytes as the text of a REGEDIT4 file and of a UTF-16LE file with its byte order
// mark, so that both encodings get to the line parser whatever the input starts with.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "tools/regedit/reg_file.hpp"

namespace {

void Parse(std::span<const std::uint8_t> bytes) {
  try {
    ravlin::ParseRegFile(bytes);
  } catch (const ravlin::RegFileError&) {
    // A refused file is an expected outcome; anything else escapes and is a finding.
  }
}

std::vector<std::uint8_t> Regedit4(std::span<const std::uint8_t> text) {
  constexpr std::string_view kHeader = "REGEDIT4\r\n";
  std::vector<std::uint8_t> file(kHeader.begin(), kHeader.end());
  file.insert(file.end(), text.begin(), text.end());
  return file;
}

// Each pair of input bytes is one UTF-16 code unit, so that any unit (and broken surrogate
// pairs) can occur.
std::vector<std::uint8_t> Unicode(std::span<const std::uint8_t> text) {
  constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00\r\n";
  std::vector<std::uint8_t> file{0xFF, 0xFE};
  for (const char16_t unit : kHeader) {
    file.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    file.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  file.insert(file.end(), text.begin(), text.end());
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  Parse(bytes);
  Parse(Regedit4(bytes));
  Parse(Unicode(bytes));
  return 0;
}

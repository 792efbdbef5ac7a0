// The INF reader on any bytes: the file itself, then, when it reads, what a driver INF and a
// txtsetup.oem would install from it, for both architectures.
#include <cstddef>
#include <cstdint>
#include <span>

#include "app/inf_driver.hpp"
#include "app/inf_file.hpp"
#include "app/txtsetup_oem.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const ravlin::InfFile inf = ravlin::InfFile::Parse(std::span<const std::uint8_t>(data, size));
    for (const auto architecture :
         {ravlin::GuestArchitecture::kX86, ravlin::GuestArchitecture::kAmd64}) {
      try {
        ravlin::ReadInfDriver(inf, architecture);
      } catch (const ravlin::InfError&) {
        // A refused INF is an expected outcome; anything else escapes and is a finding.
      }
    }
    ravlin::ReadTxtsetupOem(inf);
  } catch (const ravlin::InfError&) {
  }
  return 0;
}

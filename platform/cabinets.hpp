#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ravlin {

// What reading one file out of a cabinet or a compressed single file gave.
struct CabinetRead {
  enum class Outcome {
    kExtracted,  // `bytes` hold the file
    kMissing,    // the container, or the member in it, does not exist
    kDamaged,    // the container exists but cannot be read or decompressed
  };
  Outcome outcome = Outcome::kMissing;
  std::vector<std::uint8_t> bytes;
  std::string reason;  // for kDamaged: what was wrong, one line
};

// Microsoft's compressed containers as Windows installations and CDs carry them: cabinets
// (MSZIP, LZX, Quantum) and the single compressed files of an installation CD (ATAPI.SY_),
// which are one-file cabinets or the older SZDD / KWAJ formats. Paths are Windows path texts.
class Cabinets {
 public:
  virtual ~Cabinets() = default;

  // The member of the cabinet whose name, without any folder, equals `member` ignoring case.
  virtual CabinetRead ReadMember(const std::string& cabinet, const std::string& member) = 0;
  // The content of a compressed single file, whichever of the three formats it has.
  virtual CabinetRead ExpandFile(const std::string& compressed) = 0;
};

}  // namespace ravlin

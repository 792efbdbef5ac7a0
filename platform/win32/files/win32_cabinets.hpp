#pragma once

#include "platform/cabinets.hpp"

namespace ravlin {

// Cabinets and compressed single files through SetupAPI: SetupIterateCabinetW for a member of
// a cabinet, SetupDecompressOrCopyFileW for an SZDD file. SetupAPI has no KWAJ reader; the
// KWAJ files it meets are read here when stored plainly or XOR-masked.
class Win32Cabinets : public Cabinets {
 public:
  CabinetRead ReadMember(const std::string& cabinet, const std::string& member) override;
  CabinetRead ExpandFile(const std::string& compressed) override;
};

}  // namespace ravlin

#pragma once

#include <memory>

#include "platform/cabinets.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// Cabinets and compressed single files through libmspack.
class PosixCabinets : public Cabinets {
 public:
  explicit PosixCabinets(std::shared_ptr<const DriveTable> drives);

  CabinetRead ReadMember(const std::string& cabinet, const std::string& member) override;
  CabinetRead ExpandFile(const std::string& compressed) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
};

}  // namespace ravlin

#pragma once

#include <memory>

#include "platform/cabinets.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/guest_root.hpp"

namespace ravlin {

// Cabinets and compressed single files through libmspack. Below the guest folder a file is
// read beneath it: one that a link would reach outside is refused as damaged.
class PosixCabinets : public Cabinets {
 public:
  explicit PosixCabinets(std::shared_ptr<const DriveTable> drives,
                         std::shared_ptr<GuestRoot> guest = std::make_shared<GuestRoot>());

  CabinetRead ReadMember(const std::string& cabinet, const std::string& member) override;
  CabinetRead ExpandFile(const std::string& compressed) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
  std::shared_ptr<GuestRoot> guest_;
};

}  // namespace ravlin

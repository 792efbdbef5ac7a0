#include "system/modLoadReg.hpp"

#include <utility>

namespace ravlin {

modLoadReg::modLoadReg(Platform platform) : platform_(std::move(platform)) {}

void modLoadReg::EnablePrivileges() {}

void modLoadReg::DisablePrivileges() {}

}  // namespace ravlin

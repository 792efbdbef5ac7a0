#include "app/form1.hpp"

namespace ravlin {

std::string Form1::GuestHiveFile() const {
  return Text(ControlId::Text1) + std::string(kHiveFragment);
}

void Form1::LoadGuestHive() {}

void Form1::UnloadGuestHive() {}

}  // namespace ravlin

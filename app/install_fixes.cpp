#include "app/form1.hpp"

namespace ravlin {

void Form1::InstallFixes() {}

void Form1::ImportRegFile(const std::int16_t& N) { static_cast<void>(N); }

}  // namespace ravlin

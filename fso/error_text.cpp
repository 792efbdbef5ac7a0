#include "fso/error_text.hpp"

namespace ravlin {

std::string ErrorLine(const RuntimeError& error) {
  return "Error: " + std::to_string(error.Number()) + "  " + error.Description();
}

}  // namespace ravlin

#include "tests/support/run_program.hpp"

namespace ravlin::testing {

std::filesystem::path BinPath(const std::string& name) {
  return std::filesystem::path(RAVLIN_BIN_DIR) / name;
}

}  // namespace ravlin::testing

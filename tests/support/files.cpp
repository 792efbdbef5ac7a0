#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

std::filesystem::path TestDataDir() {
  return std::filesystem::path(RAVLIN_SOURCE_DIR) / "tests" / "data";
}

void WriteFile(const std::filesystem::path& file, const std::string& content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace ravlin::testing

#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "tests/contract/contract_fixture.hpp"

namespace ravlin::testing {

// A contract test that prepares and checks files in its work folder directly, beside the
// backend under test.
class ContractFilesTest : public ContractTest {
 protected:
  void Write(std::string_view relative, const std::string& content) const {
    std::ofstream(NativeOf(relative), std::ios::binary) << content;
  }
  std::string Read(std::string_view relative) const {
    std::ifstream in(NativeOf(relative), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

}  // namespace ravlin::testing

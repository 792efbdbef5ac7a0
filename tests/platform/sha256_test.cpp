#include "platform/sha256.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

TEST(Sha256Test, KnownDigests) {
  EXPECT_EQ(Sha256Hex(std::string()),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex(std::string("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(std::string("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

// Every length around the block and padding edges, against the system's sha256sum.
TEST(Sha256Test, AgreesWithSha256sumAcrossBlockEdges) {
  testing::TempDir temp;
  for (const std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    std::string data(length, '\0');
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i * 7 + 3);
    testing::WriteFile(temp / "data", data);
    testing::ProgramRun run;
    run.arguments = {"/usr/bin/sha256sum", (temp / "data").string()};
    const std::string out = testing::RunProgram(run).out;
    EXPECT_EQ(Sha256Hex(data), out.substr(0, 64)) << length;
  }
}

}  // namespace
}  // namespace ravlin

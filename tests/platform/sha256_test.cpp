#include "platform/sha256.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sha256_engine.hpp"
#ifndef _WIN32
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"
#endif

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

// The system's rounds (libcrypto, the CryptoAPI) and the portable ones give the same digests
// for every length around the block and padding edges, data added in uneven pieces, and a
// digest taken midway that leaves the rest to come.
TEST(Sha256Test, TheSystemsEngineAndThePortableOneAgree) {
  std::vector<std::uint8_t> data(3 * 64 + 1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 7);
  for (std::size_t length = 0; length <= data.size(); length += length < 200 ? 1 : 97) {
    const auto system = MakeSha256Engine();
    const auto portable = MakePortableSha256Engine();
    std::span<const std::uint8_t> rest(data.data(), length);
    for (std::size_t piece = 1; !rest.empty(); piece = piece * 3 % 71 + 1) {
      const auto taken = rest.first(std::min(piece, rest.size()));
      system->Add(taken);
      portable->Add(taken);
      rest = rest.subspan(taken.size());
      if (piece == 4) {
        ASSERT_EQ(HexDigits(system->Digest()), HexDigits(portable->Digest()));
      }
    }
    EXPECT_EQ(HexDigits(system->Digest()), HexDigits(portable->Digest())) << length;
  }
}

#ifndef _WIN32
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
#endif

}  // namespace
}  // namespace ravlin

#include "tests/support/driver_files.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {
namespace {

void Put16(std::string& image, std::size_t at, std::uint16_t value) {
  image[at] = static_cast<char>(value & 0xFF);
  image[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& image, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::string DriverImage(const std::string& tag, bool native) {
  constexpr std::size_t kPe = 0x40;
  constexpr std::size_t kOptional = kPe + 24;
  std::string image(0x200, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPe);
  Put32(image, kPe, 0x00004550);
  Put16(image, kPe + 4, 0x14C);    // i386
  Put16(image, kPe + 20, 224);     // optional header size
  Put16(image, kPe + 22, 0x0102);  // executable, 32-bit
  Put16(image, kOptional, 0x10B);  // PE32
  Put16(image, kOptional + 68, native ? 1 : 2);
  Put32(image, kOptional + 92, 16);
  return image + tag;
}

void MakeCabinet(const std::filesystem::path& cabinet,
                 const std::map<std::string, std::string>& files, bool compress) {
  TempDir content;
  ProgramRun run;
  run.arguments = {"/usr/bin/gcab", "--create", "--nopath"};
  if (compress) run.arguments.push_back("--zip");
  run.arguments.push_back(cabinet.string());
  for (const auto& [name, bytes] : files) {
    WriteFile(content / name, bytes);
    run.arguments.push_back((content / name).string());
  }
  std::filesystem::create_directories(cabinet.parent_path());
  const ProgramResult result = RunProgram(run);
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

}  // namespace ravlin::testing

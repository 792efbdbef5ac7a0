// Cabinets made with gcab, which only the Linux tests have.
#include <gtest/gtest.h>

#include "tests/support/driver_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

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

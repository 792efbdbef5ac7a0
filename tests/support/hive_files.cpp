#include "tests/support/hive_files.hpp"

#include <fstream>
#include <stdexcept>

#include "tests/support/run_program.hpp"

namespace ravlin::testing {

void DecompressTestHive(const std::string& name, const std::filesystem::path& destination) {
  const auto source = TestDataDir() / "hives" / (name + ".xz");
  if (!std::filesystem::exists(source)) throw std::runtime_error("missing " + source.string());
  std::filesystem::create_directories(destination.parent_path());
  ProgramRun xz;
  xz.arguments = {"/usr/bin/env", "xz", "-dc", source.string()};
  const auto decompressed = RunProgram(xz);
  if (decompressed.exitCode != 0)
    throw std::runtime_error("xz cannot decompress " + source.string() + ": " + decompressed.err);
  std::ofstream out(destination, std::ios::binary | std::ios::trunc);
  out.write(decompressed.out.data(), static_cast<std::streamsize>(decompressed.out.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + destination.string());
}

std::string ExportHive(const std::filesystem::path& file) {
  // Perl prints names as Latin-1 unless told to speak UTF-8; its warnings are left out.
  ProgramRun hivexregedit;
  hivexregedit.arguments = {"/usr/bin/env",
                            "hivexregedit",
                            "--export",
                            "--prefix",
                            "HKEY_LOCAL_MACHINE\\TEST",
                            file.string(),
                            "\\"};
  hivexregedit.environment = {{"PERL_UNICODE", "SDA"}};
  const auto exported = RunProgram(hivexregedit);
  if (exported.exitCode != 0) throw std::runtime_error("hivexregedit cannot read " + file.string());
  return exported.out;
}

}  // namespace ravlin::testing

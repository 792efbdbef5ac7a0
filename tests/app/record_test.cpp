#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/console_guest.hpp"

namespace ravlin {
namespace {

using namespace ravlin::testing;

std::string Sha256Of(const std::filesystem::path& file) {
  ProgramRun run;
  run.arguments = {"/usr/bin/sha256sum", file.string()};
  return RunProgram(run).out.substr(0, 64);
}

std::string Summary(const std::filesystem::path& file) {
  return std::to_string(std::filesystem::file_size(file)) + " bytes, SHA-256 " + Sha256Of(file);
}

std::vector<std::string> Blocks(const std::string& record) {
  std::vector<std::string> blocks;
  for (std::size_t start = 0; start < record.size();) {
    const std::size_t end = record.find("\r\n\r\n", start);
    blocks.push_back(record.substr(start, end - start + 2));
    start = end + 4;
  }
  return blocks;
}

bool Has(const std::string& block, const std::string& line) {
  return block.find(line + "\r\n") != std::string::npos;
}

using RecordConsole = ConsoleGuest;

TEST_F(RecordConsole, EachAttemptAppendsABlockATechnicianCanCheck) {
  const std::string untouched = Summary(hive_);
  // First attempt: no copy anywhere, so it stops at the driver stage, changing nothing.
  WriteFile(windows_ / "Driver Cache" / "i386" / "sp2.cab", "a damaged cabinet");
  const auto guestBefore = Snapshot(windows_ / "system32");
  const ProgramResult stoppedRun = Repair();
  ASSERT_EQ(stoppedRun.exitCode, 1);
  EXPECT_NE(stoppedRun.out.find("\nNothing in the guest was changed.\n"), std::string::npos)
      << stoppedRun.out;
  EXPECT_EQ(Snapshot(windows_ / "system32"), guestBefore);
  std::filesystem::remove(windows_ / "Driver Cache" / "i386" / "sp2.cab");
  AddDriverCabinets({"sp2.cab"});
  const ProgramResult repairRun = Repair();
  ASSERT_EQ(repairRun.exitCode, 0);
  EXPECT_EQ(repairRun.out.find("Nothing in the guest was changed."), std::string::npos);

  const std::string record = ReadFile(windows_ / "ravlin.log");
  EXPECT_EQ(record.find('\n'), record.find("\r\n") + 1) << "lines end in CR LF";
  const auto blocks = Blocks(record);
  // The stopped attempt, which ended its own mount, and the repair.
  ASSERT_EQ(blocks.size(), 2u) << record;

  const std::string& stopped = blocks[0];
  EXPECT_TRUE(stopped.starts_with("==== Ravlin repair attempt ====\r\nDate: 20")) << stopped;
  EXPECT_TRUE(Has(stopped, "Program: Ravlin 1.0"));
  EXPECT_TRUE(Has(stopped, "Guest: C:\\WINDOWS"));
  EXPECT_TRUE(Has(stopped, "Hive before: " + untouched)) << stopped;
  EXPECT_NE(stopped.find("Driver atapi.sys: skipped C:\\WINDOWS\\Driver Cache\\i386\\sp2.cab ("),
            std::string::npos)
      << stopped;
  EXPECT_TRUE(Has(stopped,
                  "End: aborted during \"Installing Driver Files...\": Critical Error "
                  "copying file.  Check paths and permissions."))
      << stopped;
  EXPECT_TRUE(Has(stopped, "Undone: the guest was left as it was before this attempt"));
  EXPECT_TRUE(Has(stopped, "Hive after: " + untouched)) << stopped;

  const std::string& repaired = blocks[1];
  for (const std::string n : {"1", "2"})
    EXPECT_NE(repaired.find("Control set " + n + ": "), std::string::npos) << repaired;
  EXPECT_NE(repaired.find("tarvel001.reg: imported, the editor ended with exit code 0\r\n"),
            std::string::npos)
      << repaired;
  for (const auto& driver : kIdeDrivers)
    EXPECT_TRUE(Has(repaired, "Driver " + driver +
                                  ": copied from C:\\WINDOWS\\Driver Cache\\i386\\sp2.cab, " +
                                  Summary(Driver(driver))))
        << repaired;
  EXPECT_TRUE(Has(repaired, "Hive after: " + Summary(hive_))) << repaired;
  EXPECT_NE(Summary(hive_), untouched);
  EXPECT_TRUE(Has(repaired, "Backup: " + Summary(hive_.string() + ".ravlin-backup")));
  EXPECT_TRUE(Has(repaired, "End: completed"));
}

}  // namespace
}  // namespace ravlin

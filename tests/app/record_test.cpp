#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/repair_record.hpp"
#ifndef _WIN32
#include "tests/app/console_guest.hpp"
#endif

namespace ravlin {
namespace {

// Linux only: the console runs use the Linux drive table, the sample guest's libhivex hive and
// sha256sum. The reader's own tests below run everywhere.
#ifndef _WIN32
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
#endif

std::string Digest(char digit) {
  return std::string(64, digit);
}

std::string RepairBlock(const std::vector<std::string>& drivers, char hiveAfter, char backup) {
  std::string block = "==== Ravlin repair attempt ====\r\nGuest: C:\\WINDOWS\r\n";
  for (const std::string& driver : drivers) block += driver + "\r\n";
  return block + "Hive after: 9 bytes, SHA-256 " + Digest(hiveAfter) +
         "\r\nBackup: 9 bytes, SHA-256 " + Digest(backup) + "\r\nEnd: completed\r\n\r\n";
}

std::string Copied(const std::string& name, char digest) {
  return "Driver " + name + ": copied from C:\\WINDOWS\\Driver Cache\\i386\\sp2.cab, " +
         "SHA-256 " + Digest(digest);
}

TEST(RecordReader, TakesTheNewestStateSinceTheLastUndoWhateverThePieceSize) {
  const std::string record =
      RepairBlock({Copied("atapi.sys", '1'), Copied("pciide.sys", '2')}, 'a', 'b') +
      "==== Ravlin restore ====\r\nDriver atapi.sys: deleted\r\nEnd: restored\r\n\r\n" +
      RepairBlock({Copied("atapi.sys", '3'), Copied("ATAPI.SYS", '3'), Copied("intelide.sys", '4'),
                   Copied("..\\ntoskrnl.exe", '5'), "Driver pciidex.sys: copied from X, SHA-256 12",
                   "Driver pciidex.sys: skipped C:\\WINDOWS\\Driver Cache\\i386\\sp3.cab (bad)"},
                  'c', 'd') +
      "==== Ravlin: the hive of a stopped attempt unmounted ====\nHive after: 9 bytes, SHA-256 " +
      Digest('e') + "\n" +
      // An undo stopped while writing its block: what it undid stays named for a second one.
      "==== Ravlin restore ====\r\nDate: 2026-12-07 14:30:05 UTC\r\nDriver atapi.sys: deleted\r\n";
  for (const std::size_t piece : {1, 2, 3, 7, 64, 65536}) {
    SCOPED_TRACE(piece);
    std::size_t largest = 0;
    const RecordedRepairs repairs = ReadRecordedRepairs(
        record.size(),
        [&](std::uint64_t offset, std::size_t length) {
          largest = std::max(largest, length);
          return record.substr(offset, length);
        },
        piece);
    EXPECT_LE(largest, piece);
    EXPECT_EQ(repairs.fault, "");
    EXPECT_EQ(repairs.hiveAfterSha256, Digest('e'));
    EXPECT_EQ(repairs.backupSha256, Digest('d'));
    ASSERT_EQ(repairs.copiedDrivers.size(), 2u);
    EXPECT_EQ(repairs.copiedDrivers[0].name, "intelide.sys");
    EXPECT_EQ(repairs.copiedDrivers[0].sha256, Digest('4'));
    EXPECT_EQ(repairs.copiedDrivers[1].name, "atapi.sys");
    EXPECT_EQ(repairs.copiedDrivers[1].sha256, Digest('3'));
    EXPECT_EQ(repairs.ignoredCount, 2u);
    ASSERT_EQ(repairs.ignoredLines.size(), 2u);
    EXPECT_TRUE(repairs.ignoredLines[0].starts_with("Driver pciidex.sys: copied from X"));
    EXPECT_TRUE(repairs.ignoredLines[1].starts_with("Driver ..\\ntoskrnl.exe: copied"));
  }
}

TEST(RecordReader, ReadsOnlyItsEndInBoundedPiecesAndNamesWhatItCannotRead) {
  // 40 GB of nothing: refused after a bounded stretch read from the end.
  constexpr std::uint64_t kHuge = std::uint64_t{40} << 30;
  std::uint64_t requested = 0;
  const RecordedRepairs empty = ReadRecordedRepairs(kHuge, [&](std::uint64_t, std::size_t length) {
    requested += length;
    return std::string(length, '\0');
  });
  EXPECT_EQ(empty.fault, "it holds more than 64 MiB since its last undo");
  EXPECT_LE(requested, (std::uint64_t{64} << 20) + 65536);

  // The same nothing before an undo and a repair: only the end is read.
  const std::string tail = "\r\n==== Ravlin restore ====\r\nEnd: restored\r\n\r\n" +
                           RepairBlock({Copied("pciidex.sys", '7')}, 'a', 'b');
  std::uint64_t lowest = kHuge;
  const RecordedRepairs repaired =
      ReadRecordedRepairs(kHuge + tail.size(), [&](std::uint64_t offset, std::size_t length) {
        lowest = std::min(lowest, offset);
        const std::uint64_t zeros =
            offset < kHuge ? std::min<std::uint64_t>(kHuge - offset, length) : 0;
        return std::string(zeros, '\0') +
               tail.substr(offset + zeros - kHuge, length - static_cast<std::size_t>(zeros));
      });
  EXPECT_EQ(repaired.fault, "");
  EXPECT_GE(lowest, kHuge - 65536);
  ASSERT_EQ(repaired.copiedDrivers.size(), 1u);
  EXPECT_EQ(repaired.copiedDrivers[0].name, "pciidex.sys");
  EXPECT_EQ(repaired.hiveAfterSha256, Digest('a'));

  // A line longer than any the program writes is skipped whole, wherever the pieces cut it.
  const std::string overlong =
      RepairBlock({std::string(70000, 'x') + Copied("atapi.sys", '8')}, 'a', 'b');
  EXPECT_TRUE(ReadRecordedRepairs(overlong).copiedDrivers.empty());

  // A vendor's .sys counts only in a block that installed a vendor's driver, and only as a plain
  // file name: a forged block without that line, or a path, is ignored.
  const std::string vendor =
      RepairBlock({"Vendor driver: D:\\ravstor.inf: service ravstor for 2 hardware IDs",
                   Copied("ravstor.sys", 'c')},
                  'a', 'b') +
      RepairBlock({Copied("disk.sys", 'd'), Copied("..\\ntoskrnl.exe", 'e')}, 'a', 'b');
  const RecordedRepairs vendorRead = ReadRecordedRepairs(vendor);
  ASSERT_EQ(vendorRead.copiedDrivers.size(), 1u);
  EXPECT_EQ(vendorRead.copiedDrivers[0].name, "ravstor.sys");
  EXPECT_TRUE(vendorRead.copiedDrivers[0].vendor);
  EXPECT_EQ(vendorRead.ignoredCount, 2u);

  // A record that shrinks while it is read.
  const RecordedRepairs shrunk = ReadRecordedRepairs(
      100, [](std::uint64_t, std::size_t length) { return std::string(length / 2, 'x'); });
  EXPECT_EQ(shrunk.fault, "it changed while it was read");
}

}  // namespace
}  // namespace ravlin

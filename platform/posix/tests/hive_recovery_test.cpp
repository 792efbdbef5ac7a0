// Dirty hives brought up to date from their transaction logs: the old format made here from a
// real hive the way a torn flush leaves it, the new format on a real Windows 10 hive with its
// two logs, and the read-only reader on such a hive.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/hive_base_block.hpp"
#include "platform/hive_log_new_format.hpp"
#include "platform/hive_recovery.hpp"
#include "platform/marvin32.hpp"
#include "platform/posix/registry/posix_hive_reader.hpp"
#include "platform/text_bytes.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/torn_flush.hpp"

namespace ravlin::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using State = HiveRecovery::State;

// A torn flush of the real Windows 7 hive.
struct Win7TornFlush : TornFlush {
  explicit Win7TornFlush(const TempDir& dir) : TornFlush(Decompressed(dir), dir.path()) {}
  static std::filesystem::path Decompressed(const TempDir& dir) {
    DecompressTestHive("win7-system", dir / "original");
    return dir / "original";
  }
};

// A damage done to copies of the logs, and the words the refusal must contain.
template <typename Damage>
struct Case {
  std::string what;
  Damage damage;
  std::string expected;
};

// Recovery of a copy of `found` must be refused, leave it unchanged and say `expected`.
void ExpectRefused(const Bytes& found, const HiveLogFiles& logs, const std::string& what,
                   const std::string& expected) {
  auto hive = found;
  const auto recovery = RecoverHive(hive, logs);
  EXPECT_EQ(recovery.state, State::kRefused) << what;
  EXPECT_TRUE(hive == found) << what;
  EXPECT_NE(recovery.problem.find(expected), std::string::npos) << what << ": " << recovery.problem;
}

Bytes Foreign(Bytes log) {
  log[hive_base::kLastWritten] ^= 1;
  ResealBaseBlock(log);
  return log;
}

TEST(HiveLogOldFormat, TornFlushRecoversExactlyTheChangedHive) {
  TempDir dir;
  const Win7TornFlush flush(dir);
  ASSERT_TRUE(HiveIsDirty(flush.torn) && !HiveIsDirty(flush.changed));
  auto hive = flush.torn;
  const auto recovery = RecoverHive(hive, {"system", flush.log, {}, {}});
  ASSERT_EQ(recovery.state, State::kRecovered) << recovery.problem;
  EXPECT_EQ(hive, flush.changed);
  EXPECT_NE(recovery.Summary().find(std::to_string(flush.dirtyPages) + " pages from system.LOG."),
            std::string::npos)
      << recovery.Summary();

  // A clean hive is left alone, whatever log lies beside it.
  EXPECT_EQ(RecoverHive(hive, {"system", flush.log, {}, {}}).state, State::kClean);
  EXPECT_EQ(hive, flush.changed);

  // Of the dual logs, the first that belongs; a hive whose base block was torn too takes the
  // log's copy of it.
  hive = flush.torn;
  hive[0x30] ^= 0xFF;
  const auto second = RecoverHive(hive, {"SYSTEM", {}, Foreign(flush.log), flush.log});
  ASSERT_EQ(second.state, State::kRecovered) << second.problem;
  EXPECT_EQ(second.logs.at(0).log, "SYSTEM.LOG2");
  EXPECT_FALSE(HiveIsDirty(hive));
  EXPECT_TRUE(std::equal(hive.begin() + 0x30, hive.begin() + hive_base::kChecksum,
                         flush.changed.begin() + 0x30));
  EXPECT_TRUE(std::equal(hive.begin() + hive_base::kSector, hive.end(),
                         flush.changed.begin() + hive_base::kSector, flush.changed.end()));
}

TEST(HiveLogOldFormat, DamagedForeignOrMissingLogsAreRefusedWithoutChange) {
  TempDir dir;
  const Win7TornFlush flush(dir);
  const auto pagesAt = flush.log.size() - flush.dirtyPages * hive_base::kSector;
  const std::vector<Case<std::function<void(Bytes&)>>> cases{
      {"bad checksum", [](Bytes& log) { log[0x40] ^= 1; }, "checksum"},
      {"its own sequence numbers apart",
       [](Bytes& log) {
         WriteLe32(log, hive_base::kSecondarySequence, 1);
         ResealBaseBlock(log);
       },
       "own sequence numbers differ"},
      {"another hive's", [](Bytes& log) { log = Foreign(log); }, "another hive"},
      {"another write's", [](Bytes& log) { SealBaseBlock(std::span(log).first(512), 7); },
       "another write"},
      {"truncated vector", [](Bytes& log) { log.resize(512 + 40); }, "dirty vector is cut short"},
      {"no DIRT", [](Bytes& log) { log[512] = 'X'; }, "DIRT"},
      {"truncated pages", [&](Bytes& log) { log.resize(pagesAt + 512 * 3); }, "cut short"},
      {"empty", [](Bytes& log) { log.clear(); }, "system.LOG is empty"},
      {"bins far beyond the hive and its pages",
       [](Bytes& log) {
         WriteLe32(log, hive_base::kBinsSize, 0x10000000);
         ResealBaseBlock(log);
         log.resize(512 + 4 + 0x10000 + 512, 0);
         std::fill(log.begin() + 512 + 4, log.end(), 0);
       },
       "reaches beyond the hive"},
  };
  for (const auto& c : cases) {
    auto log = flush.log;
    c.damage(log);
    ExpectRefused(flush.torn, {"system", log, {}, {}}, c.what, c.expected);
  }
  ExpectRefused(flush.torn, {"system", {}, {}, {}}, "no log", "system.LOG is missing");
  ExpectRefused(flush.torn, {"SYSTEM", {}, Foreign(flush.log), {}}, "dual logs",
                "SYSTEM.LOG1: its last written time differs from the hive's: it belongs to "
                "another hive; SYSTEM.LOG2 is missing");
}

// The Windows 10 hive and its two logs, decompressed.
struct Windows10Hive {
  Bytes hive, log1, log2;
  explicit Windows10Hive(const TempDir& dir) {
    for (const char* name : {"win10-system-b", "win10-system-b.LOG1", "win10-system-b.LOG2"})
      DecompressTestHive(name, dir / name);
    hive = ReadBytes(dir / "win10-system-b");
    log1 = ReadBytes(dir / "win10-system-b.LOG1");
    log2 = ReadBytes(dir / "win10-system-b.LOG2");
  }
};

// Rewrites a field of the entry at `at` and makes both of its hashes again.
void RewriteEntry(Bytes& log, std::size_t at, std::size_t field, std::uint32_t value) {
  WriteLe32(log, at + field, value);
  const auto entry = std::span(log).subspan(at, ReadLe32(log, at + 4));
  const auto first = Le64Bytes(Marvin32(entry.subspan(40), kLogEntryHashSeed));
  std::copy(first.begin(), first.end(), entry.begin() + 24);
  const auto second = Le64Bytes(Marvin32(entry.first(32), kLogEntryHashSeed));
  std::copy(second.begin(), second.end(), entry.begin() + 32);
}

TEST(HiveLogNewFormat, Windows10HiveRecoversFromBothLogsInSequence) {
  TempDir dir;
  const Windows10Hive found(dir);
  auto hive = found.hive;
  const auto recovery = RecoverHive(hive, {"SYSTEM", {}, found.log1, found.log2});
  ASSERT_EQ(recovery.state, State::kRecovered) << recovery.problem;
  EXPECT_EQ(recovery.Summary(),
            "The hive was not closed cleanly; recovered from its transaction logs: 10 pages from "
            "SYSTEM.LOG1 (4 entries), 305 pages from SYSTEM.LOG2 (20 entries).");
  // Clean at the last entry's sequence number, grown to the last entry's bins.
  EXPECT_FALSE(HiveIsDirty(hive));
  EXPECT_EQ(ReadLe32(hive, hive_base::kPrimarySequence), 2130u);
  EXPECT_EQ(ReadLe32(hive, hive_base::kBinsSize), 12591104u);
  EXPECT_TRUE(HiveBinsSound(hive, 12591104u));
}

TEST(HiveLogNewFormat, DamagedEntriesGapsAndBaseBlocksAreRefusedWithoutChange) {
  TempDir dir;
  const Windows10Hive found(dir);
  // LOG1 holds entries 2107 to 2110 from 512 on (the first 15,872 bytes long); LOG2 2111 (11,776
  // bytes) to 2130.
  const std::vector<Case<std::function<void(Bytes&, Bytes&)>>> cases{
      {"a page changed", [](Bytes&, Bytes& log2) { log2[512 + 11776 + 4096] ^= 1; },
       "SYSTEM.LOG2: entry 2112 is damaged, its hash is wrong"},
      {"an entry cut short", [](Bytes&, Bytes& log2) { log2.resize(512 + 11776 + 4096); },
       "SYSTEM.LOG2: entry 2112 is damaged, it is cut short"},
      {"a gap between the logs",
       [](Bytes&, Bytes& log2) {
         RewriteEntry(log2, 512, 12, 2112);
         SealBaseBlock(std::span(log2).first(512), 2112);
       },
       "SYSTEM.LOG2: entry 2112 follows entry 2110"},
      {"a gap inside a log", [](Bytes& log1, Bytes&) { RewriteEntry(log1, 512 + 15872, 12, 2109); },
       "SYSTEM.LOG1: entry 2109 follows entry 2107"},
      {"a hive grown past the logs",
       [](Bytes&, Bytes& log2) { RewriteEntry(log2, 512, 16, 0x40000000); },
       "SYSTEM.LOG2: entry 2111 grows the hive beyond what the logs hold"},
      {"both base blocks damaged",
       [](Bytes& log1, Bytes& log2) {
         log1[0x40] ^= 1;
         log2[0x40] ^= 1;
       },
       "SYSTEM.LOG1: the checksum of its base block is wrong; SYSTEM.LOG2: the checksum"},
  };
  for (const auto& c : cases) {
    HiveLogFiles logs{"SYSTEM", {}, found.log1, found.log2};
    c.damage(*logs.log1, *logs.log2);
    ExpectRefused(found.hive, logs, c.what, c.expected);
  }
}

TEST(HiveLogReader, ReadsADirtyHiveAsItsLogRecoversItAndAsFoundWithoutOne) {
  TempDir dir;
  const Win7TornFlush flush(dir);
  const auto config = dir / "c" / "config";
  std::filesystem::create_directories(config);
  WriteBytes(config / "SOFTWARE", flush.torn);
  PosixHiveReader reader(std::make_shared<DriveTable>("C=" + (dir / "c").string()));

  EXPECT_FALSE(reader.KeyExists("C:\\config\\software", "RavlinRecovered"));
  WriteBytes(config / "software.log", flush.log);
  const auto note = reader.ReadValue("C:\\config\\software", "RavlinRecovered", "Note");
  ASSERT_TRUE(note);
  EXPECT_EQ(Utf16StringFromLe(note->data), u"after the flush");
  EXPECT_EQ(ReadBytes(config / "SOFTWARE"), flush.torn);
}

}  // namespace
}  // namespace ravlin::testing

// Dirty hives brought up to date from their transaction logs: the old format made here from a
// real hive the way a torn flush leaves it, the new format on a real Windows 10 hive with its
// two logs; then the mount and the read-only reader on such guests.
#include <gtest/gtest.h>
#include <hivex.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/hive_base_block.hpp"
#include "platform/hive_log_new_format.hpp"
#include "platform/hive_recovery.hpp"
#include "platform/marvin32.hpp"
#include "platform/posix/registry/posix_hive_reader.hpp"
#include "platform/text_bytes.hpp"
#include "tests/platform/registry_fixture.hpp"
#include "tests/support/torn_flush.hpp"

namespace ravlin::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A torn flush of the real Windows 7 hive.
struct Win7TornFlush : TornFlush {
  explicit Win7TornFlush(const TempDir& dir) : TornFlush(Decompressed(dir), dir.path()) {}
  static std::filesystem::path Decompressed(const TempDir& dir) {
    DecompressTestHive("win7-system", dir / "original");
    return dir / "original";
  }
};

HiveLogFiles XpLogs(const Bytes& log) {
  return HiveLogFiles{"system", log, std::nullopt, std::nullopt};
}

std::string Describe(const HiveRecovery& recovery) {
  return recovery.Summary();
}

TEST(HiveLogOldFormat, TornFlushRecoversExactlyTheChangedHive) {
  TempDir dir;
  const Win7TornFlush flush(dir);
  ASSERT_GT(flush.dirtyPages, 16u);
  ASSERT_FALSE(HiveIsDirty(flush.changed));
  ASSERT_TRUE(HiveIsDirty(flush.torn));
  ASSERT_NE(flush.torn, flush.changed);

  auto hive = flush.torn;
  const auto recovery = RecoverHive(hive, XpLogs(flush.log));
  ASSERT_EQ(recovery.state, HiveRecovery::State::kRecovered) << recovery.problem;
  EXPECT_EQ(hive, flush.changed);
  ASSERT_EQ(recovery.logs.size(), 1u);
  EXPECT_EQ(recovery.logs[0].log, "system.LOG");
  EXPECT_EQ(recovery.logs[0].pages, flush.dirtyPages);
  EXPECT_NE(Describe(recovery).find(std::to_string(flush.dirtyPages) + " pages from system.LOG"),
            std::string::npos)
      << Describe(recovery);

  // A clean hive is left alone, whatever log lies beside it.
  auto clean = flush.changed;
  EXPECT_EQ(RecoverHive(clean, XpLogs(flush.log)).state, HiveRecovery::State::kClean);
  EXPECT_EQ(clean, flush.changed);

  // A hive whose base block was torn too takes the log's copy of it.
  auto damaged = flush.torn;
  damaged[0x30] ^= 0xFF;
  const auto fromCopy = RecoverHive(damaged, XpLogs(flush.log));
  ASSERT_EQ(fromCopy.state, HiveRecovery::State::kRecovered) << fromCopy.problem;
  EXPECT_FALSE(HiveIsDirty(damaged));
  EXPECT_TRUE(std::equal(damaged.begin() + hive_base::kSize, damaged.end(),
                         flush.changed.begin() + hive_base::kSize, flush.changed.end()));
  EXPECT_EQ(damaged[0x30], flush.changed[0x30]);
}

TEST(HiveLogOldFormat, DamagedForeignOrMissingLogsAreRefusedWithoutChange) {
  TempDir dir;
  const Win7TornFlush flush(dir);
  struct Case {
    std::string what;
    std::function<void(Bytes&)> damage;
    std::string expected;
  };
  const auto pagesAt = flush.log.size() - flush.dirtyPages * 512;
  const std::vector<Case> cases{
      {"bad checksum", [](Bytes& log) { log[0x40] ^= 1; }, "checksum"},
      {"its own sequence numbers apart",
       [](Bytes& log) {
         WriteLe32(log, hive_base::kSecondarySequence, 1);
         ResealBaseBlock(log);
       },
       "own sequence numbers differ"},
      {"another hive's timestamp",
       [](Bytes& log) {
         log[hive_base::kLastWritten] ^= 1;
         ResealBaseBlock(log);
       },
       "another hive"},
      {"another write's sequence number",
       [](Bytes& log) { SealBaseBlock(std::span(log).first(hive_base::kSector), 7); },
       "another write"},
      {"truncated vector", [](Bytes& log) { log.resize(512 + 40); }, "dirty vector is cut short"},
      {"no DIRT", [](Bytes& log) { log[512] = 'X'; }, "DIRT"},
      {"truncated pages", [&](Bytes& log) { log.resize(pagesAt + 512 * 3); }, "cut short"},
      {"empty", [](Bytes& log) { log.clear(); }, "system.LOG is empty"},
      {"bins far beyond the hive and its pages",
       [](Bytes& log) {
         WriteLe32(log, hive_base::kBinsSize, 0x10000000);
         ResealBaseBlock(log);
         log.resize(hive_base::kSector + 4 + 0x10000 + hive_base::kSector, 0);
         std::fill(log.begin() + hive_base::kSector + 4, log.end(), 0);
       },
       "reaches beyond the hive"},
  };
  for (const auto& c : cases) {
    auto log = flush.log;
    c.damage(log);
    auto hive = flush.torn;
    const auto recovery = RecoverHive(hive, XpLogs(log));
    EXPECT_EQ(recovery.state, HiveRecovery::State::kRefused) << c.what;
    EXPECT_EQ(hive, flush.torn) << c.what;
    EXPECT_NE(recovery.problem.find(c.expected), std::string::npos)
        << c.what << ": " << recovery.problem;
  }
  auto hive = flush.torn;
  const auto missing = RecoverHive(hive, HiveLogFiles{"system", {}, {}, {}});
  EXPECT_EQ(missing.state, HiveRecovery::State::kRefused);
  EXPECT_EQ(missing.problem, "system.LOG is missing");
  EXPECT_EQ(hive, flush.torn);
}

TEST(HiveLogOldFormat, DualLogsUseTheFirstThatIsValidAndBelongs) {
  TempDir dir;
  const Win7TornFlush flush(dir);
  auto foreign = flush.log;
  foreign[hive_base::kLastWritten] ^= 1;
  ResealBaseBlock(foreign);

  auto hive = flush.torn;
  auto recovery = RecoverHive(hive, HiveLogFiles{"SYSTEM", std::nullopt, foreign, flush.log});
  ASSERT_EQ(recovery.state, HiveRecovery::State::kRecovered) << recovery.problem;
  EXPECT_EQ(recovery.logs.at(0).log, "SYSTEM.LOG2");
  EXPECT_EQ(hive, flush.changed);

  hive = flush.torn;
  recovery = RecoverHive(hive, HiveLogFiles{"SYSTEM", std::nullopt, flush.log, foreign});
  ASSERT_EQ(recovery.state, HiveRecovery::State::kRecovered) << recovery.problem;
  EXPECT_EQ(recovery.logs.at(0).log, "SYSTEM.LOG1");

  hive = flush.torn;
  recovery = RecoverHive(hive, HiveLogFiles{"SYSTEM", std::nullopt, foreign, std::nullopt});
  EXPECT_EQ(recovery.state, HiveRecovery::State::kRefused);
  EXPECT_NE(recovery.problem.find("SYSTEM.LOG1: its last written time"), std::string::npos)
      << recovery.problem;
  EXPECT_NE(recovery.problem.find("SYSTEM.LOG2 is missing"), std::string::npos) << recovery.problem;
  EXPECT_EQ(recovery.problem.find("SYSTEM.LOG is missing"), std::string::npos) << recovery.problem;
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
  HiveLogFiles Logs() const { return HiveLogFiles{"SYSTEM", std::nullopt, log1, log2}; }
};

// Rewrites a field of the entry at `at` and makes both of its hashes again.
void RewriteEntry(Bytes& log, std::size_t at, std::size_t field, std::uint32_t value) {
  WriteLe32(log, at + field, value);
  const auto size = ReadLe32(log, at + 4);
  const auto entry = std::span(log).subspan(at, size);
  const auto first = Marvin32(entry.subspan(40), kLogEntryHashSeed);
  std::copy_n(Le64Bytes(first).begin(), 8, entry.begin() + 24);
  const auto second = Marvin32(entry.first(32), kLogEntryHashSeed);
  std::copy_n(Le64Bytes(second).begin(), 8, entry.begin() + 32);
}

void Renumber(Bytes& log, std::size_t at, std::uint32_t sequence) {
  RewriteEntry(log, at, 12, sequence);
}

TEST(HiveLogNewFormat, Windows10HiveRecoversFromBothLogsInSequence) {
  TempDir dir;
  const Windows10Hive found(dir);
  ASSERT_TRUE(HiveIsDirty(found.hive));
  auto hive = found.hive;
  const auto recovery = RecoverHive(hive, found.Logs());
  ASSERT_EQ(recovery.state, HiveRecovery::State::kRecovered) << recovery.problem;
  ASSERT_EQ(recovery.logs.size(), 2u);
  EXPECT_EQ(recovery.logs[0].log, "SYSTEM.LOG1");
  EXPECT_EQ(recovery.logs[0].entries, 4u);
  EXPECT_EQ(recovery.logs[0].pages, 10u);
  EXPECT_EQ(recovery.logs[1].log, "SYSTEM.LOG2");
  EXPECT_EQ(recovery.logs[1].entries, 20u);
  EXPECT_EQ(recovery.logs[0].pages + recovery.logs[1].pages, 315u);
  EXPECT_FALSE(HiveIsDirty(hive));
  // Clean at the last entry's sequence number, grown to the last entry's bins.
  EXPECT_EQ(ReadLe32(hive, hive_base::kPrimarySequence), 2130u);
  EXPECT_EQ(ReadLe32(hive, hive_base::kBinsSize), 12591104u);
  EXPECT_TRUE(HiveBinsSound(hive, 12591104u));
  EXPECT_GE(hive.size(), hive_base::kSize + 12591104u);

  const auto file = dir / "recovered";
  WriteBytes(file, hive);
  std::unique_ptr<hive_h, int (*)(hive_h*)> opened(hivex_open(file.c_str(), 0), hivex_close);
  ASSERT_TRUE(opened);
  EXPECT_NE(hivex_node_get_child(opened.get(), hivex_root(opened.get()), "ControlSet001"), 0u);
}

TEST(HiveLogNewFormat, DamagedEntriesGapsAndBaseBlocksAreRefusedWithoutChange) {
  TempDir dir;
  const Windows10Hive found(dir);
  struct Case {
    std::string what;
    std::function<void(Bytes& log1, Bytes& log2)> damage;
    std::string expected;
  };
  const std::vector<Case> cases{
      {"a page of an entry changed", [](Bytes&, Bytes& log2) { log2[512 + 11776 + 4096] ^= 1; },
       "SYSTEM.LOG2: entry 2112 is damaged, its hash is wrong"},
      {"an entry cut short by the end of the file",
       [](Bytes&, Bytes& log2) { log2.resize(512 + 11776 + 4096); },
       "SYSTEM.LOG2: entry 2112 is damaged, it is cut short"},
      {"a gap between the logs",
       [](Bytes&, Bytes& log2) {
         Renumber(log2, 512, 2112);
         SealBaseBlock(std::span(log2).first(hive_base::kSize), 2112);
       },
       "entry 2112 follows entry 2110"},
      {"a gap inside a log", [](Bytes& log1, Bytes&) { Renumber(log1, 512 + 15872, 2109); },
       "SYSTEM.LOG1: entry 2109 follows entry 2107"},
      {"an entry growing the hive past what the logs hold",
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
    auto logs = found.Logs();
    c.damage(*logs.log1, *logs.log2);
    auto hive = found.hive;
    const auto recovery = RecoverHive(hive, logs);
    EXPECT_EQ(recovery.state, HiveRecovery::State::kRefused) << c.what;
    EXPECT_TRUE(hive == found.hive) << c.what;
    EXPECT_NE(recovery.problem.find(c.expected), std::string::npos)
        << c.what << ": " << recovery.problem;
  }
}

class DirtyGuestMount : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    EnablePrivileges();
    std::filesystem::create_directories(GuestHivePath().parent_path());
  }
  std::filesystem::path Beside(const std::string& name) const {
    return GuestHivePath().parent_path() / name;
  }
  bool KeyExists(PosixRegistry& registry, const std::string& path) {
    RegKey key = 0;
    if (registry.RegOpenKeyExA(kHkeyLocalMachine, path, 0, kKeyQueryValue, key) != 0) return false;
    registry.RegCloseKey(key);
    return true;
  }
};

TEST_F(DirtyGuestMount, XpGuestIsRecoveredIntoTheCopyAndWrittenBackCleanOnce) {
  TempDir scratch;
  const Win7TornFlush flush(scratch);
  WriteBytes(GuestHivePath(), flush.torn);
  WriteBytes(Beside("system.LOG"), flush.log);

  ASSERT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", kGuestHiveText), 0);
  const auto recovery = registry->LastLoadRecovery();
  EXPECT_EQ(recovery.state, HiveRecovery::State::kRecovered);
  EXPECT_EQ(recovery.logs.at(0).pages, flush.dirtyPages);
  EXPECT_TRUE(KeyExists(*registry, "Ravlin_System\\RavlinRecovered"));
  // Nothing in the guest changes before the unload.
  EXPECT_EQ(ReadBytes(GuestHivePath()), flush.torn);
  EXPECT_EQ(ReadBytes(Beside("system.LOG")), flush.log);

  const RegKey key = Create(kHkeyLocalMachine, "Ravlin_System\\Repaired");
  ASSERT_EQ(SetString(key, "By", "Ravlin"), 0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  ASSERT_EQ(registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0);

  const auto written = ReadBytes(GuestHivePath());
  EXPECT_FALSE(HiveIsDirty(written));
  EXPECT_EQ(ReadBytes(Beside("system.ravlin-backup")), flush.torn);
  EXPECT_EQ(ReadBytes(Beside("system.LOG")), flush.log);
  const auto again = NewRegistry();
  ASSERT_EQ(again->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", kGuestHiveText), 0);
  EXPECT_EQ(again->LastLoadRecovery().state, HiveRecovery::State::kClean);
  EXPECT_TRUE(KeyExists(*again, "Ravlin_System\\RavlinRecovered"));
  EXPECT_TRUE(KeyExists(*again, "Ravlin_System\\Repaired"));
  EXPECT_EQ(again->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0);
}

TEST_F(DirtyGuestMount, DirtyGuestWithoutAUsableLogIsRefusedAndLeftAlone) {
  TempDir scratch;
  const Win7TornFlush flush(scratch);
  WriteBytes(GuestHivePath(), flush.torn);

  EXPECT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", kGuestHiveText),
            kErrorRegistryCorrupt);
  EXPECT_EQ(registry->LastLoadRecovery().state, HiveRecovery::State::kRefused);
  EXPECT_EQ(registry->LastLoadRecovery().problem, "system.LOG is missing");

  auto foreign = flush.log;
  foreign[hive_base::kLastWritten] ^= 1;
  ResealBaseBlock(foreign);
  WriteBytes(Beside("SYSTEM.log"), foreign);
  EXPECT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", kGuestHiveText),
            kErrorRegistryCorrupt);
  EXPECT_NE(registry->LastLoadRecovery().problem.find("system.LOG: its last written time"),
            std::string::npos)
      << registry->LastLoadRecovery().problem;
  EXPECT_EQ(ReadBytes(GuestHivePath()), flush.torn);
  EXPECT_FALSE(std::filesystem::exists(Beside("system.ravlin-backup")));
  for (const auto& entry : std::filesystem::directory_iterator(store))
    EXPECT_FALSE(entry.path().filename().string().starts_with("mount-")) << entry.path();

  // The read-only reader falls back to the hive as found; with the log it reads the recovery.
  PosixHiveReader reader(std::make_shared<DriveTable>("C=" + drive.string()));
  EXPECT_FALSE(reader.KeyExists(kGuestHiveText, "RavlinRecovered"));
  WriteBytes(Beside("SYSTEM.log"), flush.log);
  const auto note = reader.ReadValue(kGuestHiveText, "RavlinRecovered", "Note");
  ASSERT_TRUE(note);
  EXPECT_EQ(Utf16StringFromLe(note->data), u"after the flush");
  EXPECT_EQ(ReadBytes(GuestHivePath()), flush.torn);
}

TEST_F(DirtyGuestMount, Windows10GuestIsRecoveredFromItsTwoLogs) {
  TempDir scratch;
  const Windows10Hive found(scratch);
  WriteBytes(GuestHivePath(), found.hive);
  WriteBytes(Beside("SYSTEM.LOG1"), found.log1);
  WriteBytes(Beside("SYSTEM.LOG2"), found.log2);

  ASSERT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", kGuestHiveText), 0);
  const auto recovery = registry->LastLoadRecovery();
  ASSERT_EQ(recovery.state, HiveRecovery::State::kRecovered) << recovery.problem;
  EXPECT_EQ(recovery.logs.at(0).pages + recovery.logs.at(1).pages, 315u);
  EXPECT_TRUE(KeyExists(*registry, "Ravlin_System\\ControlSet001\\Services"));
  const RegKey key = Create(kHkeyLocalMachine, "Ravlin_System\\Repaired");
  ASSERT_EQ(registry->RegCloseKey(key), 0);
  ASSERT_EQ(registry->RegUnLoadKeyA(kHkeyLocalMachine, "Ravlin_System"), 0);
  EXPECT_FALSE(HiveIsDirty(ReadBytes(GuestHivePath())));
  EXPECT_EQ(ReadBytes(Beside("system.ravlin-backup")), found.hive);
  EXPECT_EQ(ReadBytes(Beside("SYSTEM.LOG2")), found.log2);
}

}  // namespace
}  // namespace ravlin::testing

#include "tests/support/torn_flush.hpp"

#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/hive_base_block.hpp"
#include "platform/text_bytes.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {
namespace {

constexpr std::size_t kBlock = 0x1000;

void ChangeHive(const std::filesystem::path& original, const std::filesystem::path& changed) {
  std::unique_ptr<hive_h, int (*)(hive_h*)> hive(hivex_open(original.c_str(), HIVEX_OPEN_WRITE),
                                                 hivex_close);
  ASSERT_TRUE(hive) << original;
  const auto root = hivex_root(hive.get());
  const auto added = hivex_node_add_child(hive.get(), root, "RavlinRecovered");
  ASSERT_NE(added, 0u);
  std::string note;
  for (const char c : std::string("after the flush")) note += {c, '\0'};
  note += std::string(2, '\0');
  std::string blob(12000, '\x5A');
  std::vector<hive_set_value> values{
      {const_cast<char*>("Note"), hive_t_REG_SZ, note.size(), note.data()},
      {const_cast<char*>("Blob"), hive_t_REG_BINARY, blob.size(), blob.data()}};
  ASSERT_EQ(hivex_node_set_values(hive.get(), added, values.size(), values.data(), 0), 0);
  const auto select = hivex_node_get_child(hive.get(), root, "Select");
  ASSERT_NE(select, 0u);
  std::string two("\x02\0\0\0", 4);
  hive_set_value current{const_cast<char*>("Current"), hive_t_REG_DWORD, 4, two.data()};
  ASSERT_EQ(hivex_node_set_value(hive.get(), select, &current, 0), 0);
  ASSERT_EQ(hivex_commit(hive.get(), changed.c_str(), 0), 0);
}

}  // namespace

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  const auto text = ReadFile(file);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  WriteFile(file, std::string(bytes.begin(), bytes.end()));
}

void ResealBaseBlock(std::vector<std::uint8_t>& bytes) {
  const auto sum = BaseBlockXor(bytes);
  WriteLe32(bytes, hive_base::kChecksum, sum == 0 ? 1 : sum);
}

TornFlush::TornFlush(const std::filesystem::path& originalFile,
                     const std::filesystem::path& scratch) {
  const auto changedFile = scratch / "changed.hive";
  ChangeHive(originalFile, changedFile);
  original = ReadBytes(originalFile);
  changed = ReadBytes(changedFile);
  // The first bin keeps a copy of the last written time, as Windows writes it.
  std::copy_n(changed.begin() + hive_base::kLastWritten, 8,
              changed.begin() + hive_base::kFirstBinTimestamp);
  const auto bins = ReadLe32(changed, hive_base::kBinsSize);
  const auto sequence = ReadLe32(changed, hive_base::kPrimarySequence);

  log.assign(changed.begin(), changed.begin() + hive_base::kSector);
  WriteLe32(log, hive_base::kFileType, hive_base::kOldLog);
  SealBaseBlock(log, sequence - 1);
  log.insert(log.end(), {'D', 'I', 'R', 'T'});
  const std::size_t vectorAt = log.size();
  log.resize(vectorAt + bins / kBlock, 0);
  std::vector<std::size_t> blocks;
  for (std::size_t block = 0; block < bins / kBlock; ++block) {
    const auto at = hive_base::kSize + block * kBlock;
    if (at + kBlock > original.size() ||
        !std::equal(changed.begin() + static_cast<long>(at),
                    changed.begin() + static_cast<long>(at + kBlock),
                    original.begin() + static_cast<long>(at))) {
      log[vectorAt + block] = 0xFF;  // Windows tracks 4 KiB blocks: 8 pages at once
      blocks.push_back(block);
    }
  }
  log.resize((log.size() + hive_base::kSector - 1) / hive_base::kSector * hive_base::kSector, 0);
  for (const auto block : blocks) {
    const auto at = changed.begin() + static_cast<long>(hive_base::kSize + block * kBlock);
    log.insert(log.end(), at, at + kBlock);
  }
  dirtyPages = blocks.size() * (kBlock / hive_base::kSector);

  torn = changed;
  for (std::size_t i = blocks.size() / 2; i < blocks.size(); ++i) {
    const auto at = hive_base::kSize + blocks[i] * kBlock;
    for (std::size_t b = at; b < at + kBlock; ++b) torn[b] = b < original.size() ? original[b] : 0;
  }
  WriteLe32(torn, hive_base::kSecondarySequence, sequence - 1);
  ResealBaseBlock(torn);
}

}  // namespace ravlin::testing

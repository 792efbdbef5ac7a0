#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/contract/contract_files.hpp"

namespace ravlin::testing {
namespace {

using Outcome = CabinetRead::Outcome;

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// A cabinet of one MSZIP folder holding the files in order. Each data block is a deflate
// stream of one stored block after MSZIP's "CK" signature, so the test needs no compressor
// yet the reader takes the MSZIP path.
std::string MszipCabinet(const std::vector<std::pair<std::string, std::string>>& files) {
  constexpr std::uint32_t kHeaderSize = 36;
  constexpr std::uint32_t kFolderSize = 8;
  constexpr std::size_t kBlock = 32768;
  std::string entries;
  std::string content;
  for (const auto& [name, bytes] : files) {
    Put32(entries, static_cast<std::uint32_t>(bytes.size()));
    Put32(entries, static_cast<std::uint32_t>(content.size()));
    Put16(entries, 0);       // folder
    Put16(entries, 0x5021);  // 2020-01-01
    Put16(entries, 0);
    Put16(entries, 0x20);  // archive
    entries += name + '\0';
    content += bytes;
  }
  std::string blocks;
  std::uint32_t blockCount = 0;
  for (std::size_t at = 0; at < content.size() || blockCount == 0; at += kBlock, ++blockCount) {
    const std::string piece = content.substr(at, kBlock);
    const auto size = static_cast<std::uint32_t>(piece.size());
    Put32(blocks, 0);  // no checksum
    Put16(blocks, size + 7);
    Put16(blocks, size);
    blocks += "CK";
    blocks += '\x01';  // final stored block
    Put16(blocks, size);
    Put16(blocks, ~size & 0xFFFF);
    blocks += piece;
  }
  const auto filesAt = kHeaderSize + kFolderSize;
  const auto dataAt = filesAt + static_cast<std::uint32_t>(entries.size());
  std::string cabinet = "MSCF";
  Put32(cabinet, 0);
  Put32(cabinet, dataAt + static_cast<std::uint32_t>(blocks.size()));
  Put32(cabinet, 0);
  Put32(cabinet, filesAt);
  Put32(cabinet, 0);
  cabinet += '\x03';
  cabinet += '\x01';
  Put16(cabinet, 1);
  Put16(cabinet, static_cast<std::uint32_t>(files.size()));
  Put16(cabinet, 0);
  Put16(cabinet, 0x1234);
  Put16(cabinet, 0);
  Put32(cabinet, dataAt);
  Put16(cabinet, blockCount);
  Put16(cabinet, 1);  // MSZIP
  return cabinet + entries + blocks;
}

// An SZDD file as COMPRESS.EXE writes it, its LZSS stream made of literals only.
std::string Szdd(const std::string& content) {
  std::string file = std::string("SZDD\x88\xF0\x27\x33", 8) + "A" + "_";
  Put32(file, static_cast<std::uint32_t>(content.size()));
  for (std::size_t at = 0; at < content.size(); at += 8) file += '\xFF' + content.substr(at, 8);
  return file;
}

// A KWAJ file holding its content as it is (method 0).
std::string Kwaj(const std::string& content) {
  return std::string("KWAJ\x88\xF0\x27\xD1", 8) + std::string("\0\0\x0E\0\0\0", 6) + content;
}

std::string Text(const CabinetRead& read) {
  return std::string(read.bytes.begin(), read.bytes.end());
}

class CabinetsContract : public ContractFilesTest {
 protected:
  Cabinets& cabinets() { return *platform_.cabinets; }
};

TEST_F(CabinetsContract, MembersAreReadByNameIgnoringCase) {
  std::string driver(70000, '\0');
  for (std::size_t i = 0; i < driver.size(); ++i) driver[i] = static_cast<char>(i * 7 % 251);
  Write("sp2.cab", MszipCabinet({{"atapi.sys", driver}, {"PCIIDE.SYS", "second"}}));

  const CabinetRead atapi = cabinets().ReadMember(PathOf("sp2.cab"), "ATAPI.SYS");
  ASSERT_EQ(atapi.outcome, Outcome::kExtracted) << atapi.reason;
  EXPECT_EQ(Text(atapi), driver);
  const CabinetRead second = cabinets().ReadMember(PathOf("SP2.CAB"), "pciide.sys");
  ASSERT_EQ(second.outcome, Outcome::kExtracted) << second.reason;
  EXPECT_EQ(Text(second), "second");
}

TEST_F(CabinetsContract, AbsentContainersAndMembersAreMissing) {
  Write("one.cab", MszipCabinet({{"intelide.sys", "intel"}}));
  EXPECT_EQ(cabinets().ReadMember(PathOf("one.cab"), "pciidex.sys").outcome, Outcome::kMissing);
  EXPECT_EQ(cabinets().ReadMember(PathOf("none.cab"), "atapi.sys").outcome, Outcome::kMissing);
  EXPECT_EQ(cabinets().ExpandFile(PathOf("ATAPI.SY_")).outcome, Outcome::kMissing);
}

TEST_F(CabinetsContract, DamagedContainersAreReportedNotRead) {
  Write("garbage.cab", std::string(300, 'g'));
  const CabinetRead garbage = cabinets().ReadMember(PathOf("garbage.cab"), "atapi.sys");
  EXPECT_EQ(garbage.outcome, Outcome::kDamaged);
  EXPECT_FALSE(garbage.reason.empty());
  EXPECT_TRUE(garbage.bytes.empty());
  EXPECT_EQ(cabinets().ExpandFile(PathOf("garbage.cab")).outcome, Outcome::kDamaged);
}

TEST_F(CabinetsContract, SingleCompressedFilesAreExpandedWhateverTheirFormat) {
  Write("ATAPI.SY_", MszipCabinet({{"atapi.sys", "cabinet form"}}));
  Write("PCIIDE.SY_", Szdd("szdd form, longer than one group of eight"));
  Write("INTELIDE.SY_", Kwaj("kwaj form"));
  const CabinetRead cabinet = cabinets().ExpandFile(PathOf("ATAPI.SY_"));
  ASSERT_EQ(cabinet.outcome, Outcome::kExtracted) << cabinet.reason;
  EXPECT_EQ(Text(cabinet), "cabinet form");
  const CabinetRead szdd = cabinets().ExpandFile(PathOf("PCIIDE.SY_"));
  ASSERT_EQ(szdd.outcome, Outcome::kExtracted) << szdd.reason;
  EXPECT_EQ(Text(szdd), "szdd form, longer than one group of eight");
  const CabinetRead kwaj = cabinets().ExpandFile(PathOf("INTELIDE.SY_"));
  ASSERT_EQ(kwaj.outcome, Outcome::kExtracted) << kwaj.reason;
  EXPECT_EQ(Text(kwaj), "kwaj form");
}

}  // namespace
}  // namespace ravlin::testing

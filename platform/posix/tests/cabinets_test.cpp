#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/pe_version.hpp"
#include "platform/posix/files/posix_cabinets.hpp"
#include "tests/support/driver_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using testing::DriverImage;
using testing::MakeCabinet;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
using Outcome = CabinetRead::Outcome;

std::string Text(const CabinetRead& read) {
  return std::string(read.bytes.begin(), read.bytes.end());
}

bool IsDriver(const std::string& bytes) {
  return PeIsDriverImage(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// An SZDD file as COMPRESS.EXE writes it, its LZSS stream made of literals only.
std::string Szdd(const std::string& content) {
  std::string file = std::string("SZDD\x88\xF0\x27\x33", 8) + "A" + "_";
  for (int i = 0; i < 4; ++i) file += static_cast<char>((content.size() >> (8 * i)) & 0xFF);
  for (std::size_t at = 0; at < content.size(); at += 8) file += '\xFF' + content.substr(at, 8);
  return file;
}

// A KWAJ file holding its content uncompressed (method 0).
std::string Kwaj(const std::string& content) {
  return std::string("KWAJ\x88\xF0\x27\xD1", 8) + std::string("\0\0\x0E\0\0\0", 6) + content;
}

class CabinetsTest : public ::testing::Test {
 protected:
  TempDir temp_;
  PosixCabinets cabinets_{std::make_shared<const DriveTable>("C=" + temp_.path().string())};
};

TEST_F(CabinetsTest, MembersAreFoundIgnoringCaseInCompressedAndStoredCabinets) {
  const std::string driver = DriverImage(std::string(70000, 'x'));
  MakeCabinet(temp_ / "Driver Cache" / "i386" / "sp2.cab",
              {{"atapi.sys", driver}, {"PCIIDE.SYS", "second"}});
  MakeCabinet(temp_ / "stored.cab", {{"intelide.sys", "stored"}}, false);

  const CabinetRead atapi = cabinets_.ReadMember("C:\\DRIVER CACHE\\I386\\SP2.CAB", "ATAPI.SYS");
  ASSERT_EQ(atapi.outcome, Outcome::kExtracted) << atapi.reason;
  EXPECT_EQ(Text(atapi), driver);
  EXPECT_EQ(Text(cabinets_.ReadMember("C:\\Driver Cache\\i386\\sp2.cab", "pciide.sys")), "second");
  EXPECT_EQ(Text(cabinets_.ReadMember("C:\\stored.cab", "intelide.sys")), "stored");

  EXPECT_EQ(cabinets_.ReadMember("C:\\stored.cab", "pciidex.sys").outcome, Outcome::kMissing);
  EXPECT_EQ(cabinets_.ReadMember("C:\\none.cab", "atapi.sys").outcome, Outcome::kMissing);
  EXPECT_EQ(cabinets_.ReadMember("Q:\\none.cab", "atapi.sys").outcome, Outcome::kMissing);
}

TEST_F(CabinetsTest, DamagedCabinetsAreReportedNotRead) {
  WriteFile(temp_ / "text.cab", std::string(200, 't'));
  const CabinetRead text = cabinets_.ReadMember("C:\\text.cab", "atapi.sys");
  EXPECT_EQ(text.outcome, Outcome::kDamaged);
  EXPECT_NE(text.reason.find("signature"), std::string::npos) << text.reason;

  MakeCabinet(temp_ / "whole.cab", {{"atapi.sys", DriverImage(std::string(50000, 'y'))}});
  const std::string whole = ReadFile(temp_ / "whole.cab");
  WriteFile(temp_ / "cut.cab", whole.substr(0, whole.size() / 2));
  const CabinetRead cut = cabinets_.ReadMember("C:\\cut.cab", "atapi.sys");
  EXPECT_EQ(cut.outcome, Outcome::kDamaged);
  EXPECT_FALSE(cut.reason.empty());
  EXPECT_TRUE(cut.bytes.empty());
}

TEST_F(CabinetsTest, SingleCompressedFilesOfEveryFormatExpand) {
  const std::string driver = DriverImage("atapi");
  // An XP CD's ATAPI.SY_ is a cabinet holding one file.
  MakeCabinet(temp_ / "I386" / "ATAPI.SY_", {{"atapi.sys", driver}});
  WriteFile(temp_ / "I386" / "PCIIDE.SY_", Szdd(driver));
  WriteFile(temp_ / "I386" / "INTELIDE.SY_", Kwaj(driver));
  WriteFile(temp_ / "I386" / "PCIIDEX.SY_", "plain text");

  for (const std::string name : {"atapi.sy_", "pciide.sy_", "intelide.sy_"}) {
    SCOPED_TRACE(name);
    const CabinetRead read = cabinets_.ExpandFile("C:\\i386\\" + name);
    ASSERT_EQ(read.outcome, Outcome::kExtracted) << read.reason;
    EXPECT_EQ(Text(read), driver);
  }
  EXPECT_EQ(cabinets_.ExpandFile("C:\\I386\\PCIIDEX.SY_").outcome, Outcome::kDamaged);
  EXPECT_EQ(cabinets_.ExpandFile("C:\\I386\\NONE.SY_").outcome, Outcome::kMissing);
}

TEST(PeDriverImageTest, OnlyNativeExecutablesCountAsDrivers) {
  EXPECT_TRUE(IsDriver(DriverImage("x")));
  EXPECT_FALSE(IsDriver(DriverImage("x", false)));
  EXPECT_FALSE(IsDriver("MZ but nothing else follows in this little text file at all....."));
  EXPECT_FALSE(IsDriver(""));
  const std::string driver = DriverImage("");
  for (std::size_t length = 0; length < 0x40 + 24 + 70; ++length)
    ASSERT_FALSE(IsDriver(driver.substr(0, length))) << "length " << length;
  std::string notExecutable = driver;
  notExecutable[0x40 + 22] = 0;
  EXPECT_FALSE(IsDriver(notExecutable));
}

}  // namespace
}  // namespace ravlin

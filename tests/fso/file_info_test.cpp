#include <map>

#include "fso/date_text.hpp"
#include "tests/fso/toolkit_fixture.hpp"

namespace fs = std::filesystem;

namespace ravlin::testing {
namespace {

using GetFileInfoTest = ToolkitTest;

TEST_F(GetFileInfoTest, FillsAllTenFields) {
  ScopedEnv utc("TZ", "UTC");
  WriteFile(Native("x/report.TXT"), std::string(1234, 'r'));
  const auto when = std::chrono::sys_days{std::chrono::year{2024} / 3 / 7} +
                    std::chrono::hours{21} + std::chrono::minutes{5} + std::chrono::seconds{9};
  fs::last_write_time(Native("x/report.TXT"), std::chrono::file_clock::from_sys(when));
  ASSERT_TRUE(fso->Get_FileInfo("t:\\X\\REPORT.txt"));
  const FileInfoRecord& info = fso->LastFileInfo();
  EXPECT_EQ(info.Drive, "T:");
  EXPECT_EQ(info.Path, "T:\\x\\report.TXT");
  EXPECT_EQ(info.ParentFolder, "T:\\x");
  EXPECT_EQ(info.Size, "1234");
#ifdef _WIN32
  // Windows names the type as the machine's shell has it registered.
  EXPECT_FALSE(info.Type.empty());
#else
  EXPECT_EQ(info.Type, "Text Document");
#endif
  EXPECT_EQ(info.Extension, "TXT");
  EXPECT_EQ(info.DateLastModified, "3/7/2024 9:05:09 PM");
  EXPECT_TRUE(ReadDate(info.DateLastAccessed).has_value()) << info.DateLastAccessed;
  EXPECT_TRUE(ReadDate(info.DateCreated).has_value()) << info.DateCreated;
  EXPECT_EQ(info.Attributes, "A");
}

TEST_F(GetFileInfoTest, FileAtTheDriveRootHasTheRootAsParent) {
  WriteFile(Native("top.sys"), "x");
  ASSERT_TRUE(fso->Get_FileInfo(Win("top.sys")));
  EXPECT_EQ(fso->LastFileInfo().ParentFolder, "T:\\");
#ifndef _WIN32
  EXPECT_EQ(fso->LastFileInfo().Type, "System file");
#endif
}

TEST_F(GetFileInfoTest, BlankMissingOrFolderLeavesTheRecordAlone) {
  WriteFile(Native("a.txt"), "abc");
  ASSERT_TRUE(fso->Get_FileInfo(Win("a.txt")));
  const FileInfoRecord before = fso->LastFileInfo();
  fs::create_directory(Native("folder"));
  EXPECT_FALSE(fso->Get_FileInfo("   "));
  EXPECT_FALSE(fso->Get_FileInfo(Win("missing.txt")));
  EXPECT_FALSE(fso->Get_FileInfo(Win("folder")));
  EXPECT_EQ(fso->LastFileInfo().Path, before.Path);
  EXPECT_EQ(fso->LastFileInfo().Size, "3");
}

TEST(AttributeStringTest, SpellsTheWholeTable) {
  const std::map<std::int32_t, std::string> table{
      {1, "R"},    {2, "H"},     {3, "RH"},    {4, "S"},      {5, "RS"},    {6, "HS"},
      {7, "RHS"},  {8, "V"},     {16, "D"},    {17, "DR"},    {18, "DH"},   {19, "DRH"},
      {20, "DS"},  {23, "DRHS"}, {32, "A"},    {33, "RA"},    {34, "HA"},   {35, "RHA"},
      {36, "SA"},  {39, "RHSA"}, {48, "DA"},   {49, "DRA"},   {50, "DHA"},  {51, "DRHA"},
      {52, "DSA"}, {53, "DRSA"}, {54, "DHSA"}, {55, "DRHSA"}, {64, "Alias"}};
  clsFSO fso{Platform{}};
  for (std::int32_t value = -2; value <= 200; ++value) {
    const auto entry = table.find(value);
    EXPECT_EQ(fso.Attribute_String(value), entry == table.end() ? "" : entry->second)
        << "value " << value;
  }
  for (std::int32_t value : {2048, 2080, 65535, 0x7FFFFFFF})
    EXPECT_EQ(fso.Attribute_String(value), "") << "value " << value;
}

// Disk figures that a test chooses: volumes no test machine has.
class ChosenDiskSpace : public DiskSpace {
 public:
  bool extendedOffered = true;
  std::uint64_t total = 0;
  std::uint64_t free = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint32_t freeClusters = 0;
  std::uint32_t totalClusters = 0;
  std::vector<std::string> queried;

  bool HasGetDiskFreeSpaceEx() override { return extendedOffered; }
  bool GetDiskFreeSpaceExA(const std::string& directory, std::uint64_t& available,
                           std::uint64_t& totalBytes, std::uint64_t& totalFreeBytes) override {
    queried.push_back("ex " + directory);
    available = free / 2;
    totalBytes = total;
    totalFreeBytes = free;
    return total != 0;
  }
  bool GetDiskFreeSpaceA(const std::string& rootPath, std::uint32_t& spc, std::uint32_t& bps,
                         std::uint32_t& fc, std::uint32_t& tc) override {
    queried.push_back("clusters " + rootPath);
    spc = sectorsPerCluster;
    bps = bytesPerSector;
    fc = freeClusters;
    tc = totalClusters;
    return bytesPerSector != 0;
  }
};

struct Space {
  bool ok;
  double total;
  double free;
  double used;
};

Space Query(clsFSO& fso, const std::string& path) {
  Space space{false, -1, -1, -1};
  space.ok = fso.Get_Disk_Space(path, space.total, space.free, space.used);
  return space;
}

TEST(GetDiskSpaceTest, SmallVolumeUsesTheClusterFiguresInSixtyFourBits) {
  auto disk = std::make_shared<ChosenDiskSpace>();
  disk->total = 2'000'000'000;
  disk->free = 500'000'000;
  // 4 KiB clusters: 2,146,435,072 total bytes would overflow 32-bit products on the way.
  disk->sectorsPerCluster = 8;
  disk->bytesPerSector = 512;
  disk->totalClusters = 524'032;
  disk->freeClusters = 524'000;
  Platform platform;
  platform.diskSpace = disk;
  clsFSO fso(platform);
  const Space space = Query(fso, "  D:\\data");
  EXPECT_TRUE(space.ok);
  EXPECT_EQ(space.total, 524'032.0 * 4096);
  EXPECT_EQ(space.free, 524'000.0 * 4096);
  EXPECT_EQ(space.used, 32.0 * 4096);
  EXPECT_EQ(disk->queried, (std::vector<std::string>{"ex D:", "clusters D:"}));
}

TEST(GetDiskSpaceTest, LargeVolumeUsesTheExtendedFigures) {
  auto disk = std::make_shared<ChosenDiskSpace>();
  disk->total = 10'000'000'000;
  disk->free = 4'000'000'000;
  Platform platform;
  platform.diskSpace = disk;
  clsFSO fso(platform);
  const Space space = Query(fso, "C:\\Windows");
  EXPECT_TRUE(space.ok);
  EXPECT_EQ(space.total, 10'000'000'000.0);
  EXPECT_EQ(space.free, 4'000'000'000.0);
  EXPECT_EQ(space.used, 6'000'000'000.0);
  EXPECT_EQ(disk->queried, (std::vector<std::string>{"ex C:"}));
}

TEST(GetDiskSpaceTest, WithoutExtendedQueryOrFiguresTheAnswerIsFalse) {
  auto disk = std::make_shared<ChosenDiskSpace>();
  disk->extendedOffered = false;
  Platform platform;
  platform.diskSpace = disk;
  clsFSO fso(platform);
  const Space blank = Query(fso, "   ");
  EXPECT_FALSE(blank.ok);
  EXPECT_EQ(blank.total, 0);
  EXPECT_EQ(blank.free, 0);
  EXPECT_EQ(blank.used, 0);
  EXPECT_FALSE(Query(fso, "C:\\").ok);
  EXPECT_EQ(disk->queried, (std::vector<std::string>{"clusters C:"}));
}

using GetDiskSpaceOnLinuxTest = ToolkitTest;

TEST_F(GetDiskSpaceOnLinuxTest, ReportsTheFileSystemOfTheDrive) {
  std::error_code error;
  const double total = static_cast<double>(fs::space(root, error).capacity);
  ASSERT_FALSE(error);
  const Space space = Query(*fso, Win("sub\\file"));
  ASSERT_TRUE(space.ok);
  EXPECT_EQ(space.total, total);
  EXPECT_GT(space.free, 0);
  EXPECT_LE(space.free, space.total);
  EXPECT_EQ(space.used, space.total - space.free);
  // A network path names the drive "\:", which no query reaches.
  EXPECT_FALSE(Query(*fso, "\\\\server\\share").ok);
  EXPECT_FALSE(Query(*fso, "Q:\\").ok);
}

using GetVersionTest = ToolkitTest;

TEST_F(GetVersionTest, NoVersionForOrdinaryFilesAndAnErrorForMissingOnes) {
  WriteFile(Native("plain.txt"), "MZ but nothing more");
  EXPECT_EQ(fso->Get_Version(Win("plain.txt")), "");
  EXPECT_EQ(ErrorNumberOf([&] { fso->Get_Version(Win("missing.sys")); }), 53);
}

using GetFilePropertiesTest = ToolkitTest;

// Linux only: Windows always has a desktop, where the Properties window opens.
#ifndef _WIN32
TEST_F(GetFilePropertiesTest, WithoutDesktopPrintsTheDetailsAndGivesEmpty) {
  ScopedEnv noX("DISPLAY", std::nullopt);
  ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
  WriteFile(Native("shown.txt"), std::string(2048, 's'));
  ::testing::internal::CaptureStdout();
  const Variant result = fso->Get_FileProperties(Variant{Win("shown.txt")});
  const Variant missing = fso->Get_FileProperties(Variant{Win("missing.txt")});
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(VariantIsEmpty(result));
  EXPECT_TRUE(VariantIsEmpty(missing));
  EXPECT_NE(printed.find("Properties of T:\\shown.txt"), std::string::npos) << printed;
  EXPECT_NE(printed.find("2,048 bytes"), std::string::npos) << printed;
  EXPECT_NE(printed.find(Native("shown.txt").string()), std::string::npos) << printed;
  EXPECT_NE(printed.find("Properties of T:\\missing.txt\n  File not found"), std::string::npos)
      << printed;
}
#endif

}  // namespace
}  // namespace ravlin::testing

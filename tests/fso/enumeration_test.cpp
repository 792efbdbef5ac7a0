#include <filesystem>
#include <string>
#include <vector>

#include "fso/date_text.hpp"
#include "tests/fso/toolkit_fixture.hpp"

namespace fs = std::filesystem;

namespace ravlin::testing {
namespace {

using GetFileListTest = ToolkitTest;

TEST_F(GetFileListTest, ListsTheTreeDepthFirstWithFullPaths) {
  WriteFile(Native("top/f1"), "1");
  WriteFile(Native("top/F2"), "2");
  WriteFile(Native("top/sub/f3"), "3");
  WriteFile(Native("top/sub/deeper/f4"), "4");
  WriteFile(Native("top/zsub/f5"), "5");
  EXPECT_EQ(fso->Get_FileList(Win("top")), Win("top\\f1;") + Win("top\\F2;") +
                                               Win("top\\sub\\f3;") + Win("top\\sub\\deeper\\f4;") +
                                               Win("top\\zsub\\f5;"));
  EXPECT_EQ(fso->Get_FileList(Win("top"), false), Win("top\\f1;") + Win("top\\F2;"));
  // Lookup ignores case, the list spells names as the disk does.
#ifdef _WIN32
  // Windows keeps the caller's spelling of the folders, as its file system object does.
  EXPECT_EQ(fso->Get_FileList("t:\\TOP\\SUB\\DEEPER"), "T:\\TOP\\SUB\\DEEPER\\f4;");
#else
  // Linux gives the names on disk.
  EXPECT_EQ(fso->Get_FileList("t:\\TOP\\SUB\\DEEPER"), Win("top\\sub\\deeper\\f4;"));
#endif
  // Every step lets pending window messages run.
  EXPECT_GE(ui->doEventsCalls, 5);
}

TEST_F(GetFileListTest, ExtensionPatternSelectsIgnoringCaseCountsAndRaisesEvents) {
  WriteFile(Native("d/a.txt"), "");
  WriteFile(Native("d/b.Txt"), "");
  WriteFile(Native("d/c.doc"), "");
  fso->Count(10);
  std::vector<std::pair<double, std::string>> events;
  fso->CountFiles = [&](double& count, std::string& path) { events.emplace_back(count, path); };
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "*.TXT"), Win("d\\a.txt;") + Win("d\\b.Txt;"));
  EXPECT_EQ(fso->Count(), 12);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], std::make_pair(11.0, Win("d\\a.txt")));
  EXPECT_EQ(events[1], std::make_pair(12.0, Win("d\\b.Txt")));
}

TEST_F(GetFileListTest, PatternsWithoutSelectingExtensionListEverythingSilently) {
  WriteFile(Native("d/a.txt"), "");
  WriteFile(Native("d/c.doc"), "");
  int events = 0;
  fso->CountFiles = [&](double&, std::string&) { ++events; };
  const std::string all = Win("d\\a.txt;") + Win("d\\c.doc;");
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "*.*"), all);
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "report.txt"), all);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(fso->Count(), 0);
}

TEST_F(GetFileListTest, OnlyTheLiteralExtensionCounts) {
  WriteFile(Native("d/y.txt"), "");
  WriteFile(Native("d/noext"), "");
#ifdef _WIN32
  // Windows forbids "?" in a name: the wildcard matches no file there.
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "*.t?t"), "");
#else
  WriteFile(Native("d/x.t?t"), "");
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "*.t?t"), Win("d\\x.t?t;"));
#endif
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "*"), Win("d\\noext;"));
  EXPECT_EQ(fso->Get_FileList(Win("d"), true, "sub\\*.TXT"), Win("d\\y.txt;"));
}

TEST_F(GetFileListTest, CancelledOnEntryGivesNothingAndOpensNoFolder) {
  fso->CancelProcessing = true;
  EXPECT_EQ(fso->Get_FileList(Win("does-not-exist")), std::nullopt);
}

TEST_F(GetFileListTest, MissingFolderRaises) {
  EXPECT_EQ(ErrorNumberOf([&] { fso->Get_FileList(Win("does-not-exist")); }), 76);
}

TEST_F(GetFileListTest, CountFilesListenerCancelsAndKeepsOnlyFinishedLevels) {
  WriteFile(Native("r/a.txt"), "");
  WriteFile(Native("r/sub1/b.txt"), "");
  WriteFile(Native("r/sub1/c.txt"), "");
  WriteFile(Native("r/sub1/d.txt"), "");
  WriteFile(Native("r/sub2/e.txt"), "");
  fso->CountFiles = [&](double& count, std::string&) {
    if (count == 2) fso->CancelProcessing = true;
  };
  // sub1 drops what it gathered; the top level keeps its own file and stops.
  EXPECT_EQ(fso->Get_FileList(Win("r"), true, "*.txt"), Win("r\\a.txt;"));
  EXPECT_EQ(fso->Count(), 2);
}

TEST_F(GetFileListTest, ListenerChangingTheCountChangesCount) {
  WriteFile(Native("d/a.txt"), "");
  WriteFile(Native("d/b.txt"), "");
  fso->CountFiles = [&](double& count, std::string&) { count += 100; };
  fso->Get_FileList(Win("d"), true, "*.txt");
  EXPECT_EQ(fso->Count(), 202);
}

TEST_F(GetFileListTest, CancelFromTheMessagePumpDropsTheLevelInProgress) {
  WriteFile(Native("r/a"), "");
  WriteFile(Native("r/b"), "");
  int pumps = 0;
  ui->onDoEvents = [&] {
    if (++pumps == 3) fso->CancelProcessing = true;
  };
  EXPECT_EQ(fso->Get_FileList(Win("r")), "");
}

using GetDirListTest = ToolkitTest;

TEST_F(GetDirListTest, ListsImmediateSubfoldersWithoutTrailingSeparator) {
  fs::create_directories(Native("d/one/inner"));
  fs::create_directories(Native("d/Two"));
  WriteFile(Native("d/file.txt"), "");
  EXPECT_EQ(fso->Get_DirList(Win("d")), Win("d\\one;") + Win("d\\Two"));
  EXPECT_EQ(fso->Get_DirList(Win("d\\Two")), "");
  EXPECT_EQ(ErrorNumberOf([&] { fso->Get_DirList(Win("missing")); }), 76);
  fso->CancelProcessing = true;
  EXPECT_EQ(fso->Get_DirList(Win("d")), "");
}

using GetTotalsTest = ToolkitTest;

TEST_F(GetTotalsTest, OutOfRangeTypeOrBlankPathIsZeroWithoutBox) {
  WriteFile(Native("d/a.txt"), "12345");
  EXPECT_EQ(fso->Get_Totals(Win("d"), 0), "0");
  EXPECT_EQ(fso->Get_Totals(Win("d"), 5), "0");
  EXPECT_EQ(fso->Get_Totals("   "), "0");
  EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(GetTotalsTest, AddsSizesAndReportsEachRunningTotal) {
  WriteFile(Native("d/a"), std::string(10, 'a'));
  WriteFile(Native("d/b"), std::string(20, 'b'));
  WriteFile(Native("d/sub/c"), std::string(30, 'c'));
  std::vector<std::pair<double, std::string>> events;
  fso->CountTotals = [&](double& total, std::string& entry) { events.emplace_back(total, entry); };
  EXPECT_EQ(fso->Get_Totals(Win("d")), "60");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], std::make_pair(10.0, Win("d\\a")));
  EXPECT_EQ(events[1], std::make_pair(30.0, Win("d\\b")));
  EXPECT_EQ(events[2], std::make_pair(60.0, Win("d\\sub\\c")));
  EXPECT_EQ(fso->Get_Totals(Win("d"), 1, "*.*", false), "30");
}

TEST_F(GetTotalsTest, ListenerChangesTheTotalThatGoesOn) {
  WriteFile(Native("d/a"), std::string(1000, 'a'));
  WriteFile(Native("d/b"), std::string(5, 'b'));
  fso->CountTotals = [&](double& total, std::string&) { total = total * 2; };
  EXPECT_EQ(fso->Get_Totals(Win("d")), "4010");
}

TEST_F(GetTotalsTest, InvalidDateIsReported) {
  WriteFile(Native("d/a"), "x");
  EXPECT_EQ(fso->Get_Totals(Win("d"), 3, "tomorrow"), "0");
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "An invalid date was passed.");
  EXPECT_EQ(ui->boxes[0].title, "Invalid date format");
  EXPECT_EQ(ui->boxes[0].style, 64);
}

TEST_F(GetTotalsTest, CountsFilesOnOrAfterTheDateReadBackFromFileInfo) {
  WriteFile(Native("d/old"), "x");
  WriteFile(Native("d/new"), "x");
  const auto old = std::chrono::system_clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(Native("d/old"),
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  // The criterion in the very form Get_FileInfo writes, and in the ISO form.
  ASSERT_TRUE(fso->Get_FileInfo(Win("d\\new")));
  const std::string today = fso->LastFileInfo().DateLastModified;
  EXPECT_EQ(fso->Get_Totals(Win("d"), 3, today.substr(0, today.find(' '))), "1");
  const std::string oldText = DateText(old);
  EXPECT_EQ(fso->Get_Totals(Win("d"), 3, oldText.substr(0, oldText.find(' '))), "2");
  // With its time of day the criterion lies after the old file's date part.
  EXPECT_EQ(fso->Get_Totals(Win("d"), 3, oldText), "1");
  EXPECT_EQ(fso->Get_Totals(Win("d"), 3, "9999-12-31"), "0");
  EXPECT_EQ(fso->Get_Totals(Win("d"), 2, "2000-01-01"), "2");
  EXPECT_EQ(fso->Get_Totals(Win("d"), 4, "1/1/2000"), "2");
  EXPECT_TRUE(ui->boxes.empty());
}

TEST_F(GetTotalsTest, MissingFolderIsReportedInTheErrorBox) {
  EXPECT_EQ(fso->Get_Totals(Win("missing")), "0");
  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text,
            "Error: 76  Path not found\r\n\r\nFile: \r\nSize: \r\nCreated:  \r\nModified: "
            "\r\nAccessed: ");
  EXPECT_EQ(ui->boxes[0].title, "Errors detected");
  EXPECT_EQ(ui->boxes[0].style, 64);
}

using TextSearchTest = ToolkitTest;

TEST_F(TextSearchTest, FindsTextIgnoringCaseInTheFolderOnly) {
  WriteFile(Native("d/a.txt"), "first line\r\nThe NEEDLE is here");
  WriteFile(Native("d/b.txt"), "nothing to see");
  WriteFile(Native("d/c.bin"), std::string("\0\x01needle\xff", 10));
  WriteFile(Native("d/sub/d.txt"), "needle");
  EXPECT_EQ(fso->TextSearch(Win("d"), "Needle"),
            (std::vector<std::string>{Win("d\\a.txt"), Win("d\\c.bin")}));
}

TEST_F(TextSearchTest, NoMatchGivesNotAvailableAndAnEmptyEntry) {
  WriteFile(Native("d/a.txt"), "abc");
  WriteFile(Native("d/empty.txt"), "");
  EXPECT_EQ(fso->TextSearch(Win("d"), "xyz"), (std::vector<std::string>{"N/A", ""}));
  EXPECT_EQ(ErrorNumberOf([&] { fso->TextSearch(Win("missing"), "x"); }), 76);
}

TEST_F(TextSearchTest, GrowsPastTheFirstHundredAndOneMatches) {
  for (int i = 0; i < 250; ++i)
    WriteFile(Native("d/f" + std::to_string(1000 + i)), i % 2 == 0 ? "a Match" : "none");
  EXPECT_EQ(fso->TextSearch(Win("d"), "match").size(), 125u);
  fs::remove_all(Native("d"));
  for (int i = 0; i < 101; ++i) WriteFile(Native("d/f" + std::to_string(1000 + i)), "match");
  const auto found = fso->TextSearch(Win("d"), "MATCH");
  ASSERT_EQ(found.size(), 101u);
  EXPECT_EQ(found.front(), Win("d\\f1000"));
  EXPECT_EQ(found.back(), Win("d\\f1100"));
}

}  // namespace
}  // namespace ravlin::testing

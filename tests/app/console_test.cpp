#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/hive_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::BinPath;
using testing::ProgramResult;
using testing::ReadFile;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFile;

// "/tmp/x/y" as the default drive Z: names it.
std::string OnDriveZ(const std::filesystem::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

class ConsoleTest : public ::testing::Test {
 protected:
  ProgramResult Ravlin(std::vector<std::string> arguments, std::string input = "") {
    return Run(BinPath("ravlin"), std::move(arguments), std::move(input));
  }

  ProgramResult Run(const std::filesystem::path& program, std::vector<std::string> arguments,
                    std::string input = "") {
    arguments.insert(arguments.begin(), program.string());
    return RunProgram({arguments,
                       {{"RAVLIN_DRIVES", std::nullopt},
                        {"RAVLIN_REGISTRY", (scratch / "registry").string()},
                        {"DISPLAY", std::nullopt},
                        {"WAYLAND_DISPLAY", std::nullopt},
                        {"windir", std::nullopt}},
                       input,
                       std::nullopt,
                       std::chrono::seconds(60)});
  }

  TempDir scratch;
};

// Each expected piece must appear after the one before it.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& pieces) {
  std::size_t at = 0;
  for (const auto& piece : pieces) {
    const auto found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\n" << text;
    at = found + piece.size();
  }
}

TEST_F(ConsoleTest, GuestWithoutHiveShowsTheBoxWithTheDriveLetterPathAndEndsWithOne) {
  const auto empty = scratch / "empty";
  std::filesystem::create_directory(empty);

  const auto result = Ravlin({"--console", "--guest", empty.string(), "--yes"});

  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  ExpectInOrder(result.out,
                {"Ravlin  v1.0 for Windows XP  -  ", "Status: Closing regedit.exe",
                 "Status: Choosing a Windows Directory...",
                 "Cannot find SYSTEM hive:\n" + OnDriveZ(empty) + "\\system32\\config\\system",
                 "[OK]", "Status: Idle"});
}

TEST_F(ConsoleTest, WithoutTerminalAndGuestOneCancelledAttemptEndsTheProgram) {
  const auto result = Ravlin({"--console"});

  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1);
  ExpectInOrder(result.out, {"Choose a Windows Directory", "Status: Idle"});
}

TEST_F(ConsoleTest, FolderAnswerReadFromStandardInput) {
  const auto guest = scratch / "piped";
  std::filesystem::create_directory(guest);

  const auto result = Ravlin({"--console"}, guest.string() + "\n\n");

  EXPECT_EQ(result.exitCode, 1);
  ExpectInOrder(result.out, {"Cannot find SYSTEM hive:\n" + OnDriveZ(guest), "Status: Idle"});
}

TEST_F(ConsoleTest, HelpVersionAndUsageErrors) {
  const auto help = Ravlin({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--guest DIR"), std::string::npos);

  const auto version = Ravlin({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  // The git revision follows when the program was built from a checkout.
  EXPECT_TRUE(std::regex_match(version.out, std::regex(R"(Ravlin 1\.0( \(git [0-9a-f]+\))?\n)")))
      << version.out;

  const auto unknown = Ravlin({"--frobnicate"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown option: --frobnicate"), std::string::npos);

  EXPECT_EQ(Ravlin({"--guest"}).exitCode, 2);
  EXPECT_EQ(Ravlin({"--gui", "--console"}).exitCode, 2);
}

// The console never loads the window's libraries: the window is the program beside it, which
// it starts with the same options when the window is asked for.
TEST_F(ConsoleTest, TheWindowIsAProgramOfItsOwnThatTheConsoleStarts) {
  testing::ProgramRun readelf;
  readelf.arguments = {"/usr/bin/readelf", "-d", BinPath("ravlin").string()};
  const auto sections = RunProgram(readelf);
  ASSERT_EQ(sections.exitCode, 0) << sections.err;
  EXPECT_EQ(sections.out.find("libQt"), std::string::npos) << sections.out;

  if (std::filesystem::exists(BinPath("ravlin-gui"))) {
    const auto picture = scratch / "window.png";
    testing::ProgramRun screenshot;
    screenshot.arguments = {BinPath("ravlin").string(), "--screenshot", picture.string()};
    screenshot.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                              {"RAVLIN_REGISTRY", (scratch / "registry").string()}};
    const auto shot = RunProgram(screenshot);
    EXPECT_EQ(shot.exitCode, 0) << shot.err;
    EXPECT_EQ(testing::ReadFile(picture).substr(0, 4), "\x89PNG");
  }

  // Alone, it says that it has no window and ends, without starting anything else.
  const auto alone = scratch / "alone";
  std::filesystem::create_directories(alone);
  std::filesystem::copy_file(BinPath("ravlin"), alone / "ravlin");
  const auto refused = Run(alone / "ravlin", {"--gui"});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("this build has no desktop window"), std::string::npos) << refused.err;
}

TEST_F(ConsoleTest, AHiveThatCannotBeLoadedGetsAPlainLineAfterItsUnchangedBox) {
  struct Case {
    std::string bytes;
    std::string box;
    std::string explanation;
  };
  const auto sample = scratch / "sample";
  testing::MakeTestHive(sample, {{"ControlSet001\\Services", {}}});
  std::string dirty = ReadFile(sample);
  // The two sequence numbers differ: the hive was not closed cleanly. The header's checksum
  // (the XOR of its first 127 words) still matches.
  dirty[4] = static_cast<char>(dirty[4] + 1);
  std::uint32_t checksum = 0;
  for (std::size_t at = 0; at < 0x1FC; at += 4) {
    std::uint32_t word = 0;
    std::memcpy(&word, dirty.data() + at, 4);
    checksum ^= word;
  }
  std::memcpy(dirty.data() + 0x1FC, &checksum, 4);
  const std::vector<Case> cases{
      {dirty, "Unknown error loading registry hive, 1015",
       "Status 1015: the hive was not closed cleanly, and no transaction log beside it "
       "(system.LOG, or SYSTEM.LOG1 and SYSTEM.LOG2) can bring it up to date; the next line says "
       "which. Put the guest's own log files back beside the hive, or start the guest Windows "
       "once, then try again.\nThe hive was not closed cleanly and cannot be recovered: "
       "system.LOG is missing."},
      {"not a hive", "Unknown error loading registry hive, 1017",
       "Status 1017: system32\\config\\system is not a registry hive."},
  };
  for (const auto& item : cases) {
    const auto guest = scratch / "guest";
    std::filesystem::create_directories(guest / "system32" / "config");
    WriteFile(guest / "system32" / "config" / "system", item.bytes);

    const auto result = Ravlin({"--console", "--guest", guest.string(), "--yes"});

    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    ExpectInOrder(result.out, {"== Ravlin ==\n" + item.box + "\n" + OnDriveZ(guest) +
                                   "\\system32\\config\\system\n[OK]\n> OK\n\n" + item.explanation,
                               "Status: Idle"});
    EXPECT_EQ(ReadFile(guest / "system32" / "config" / "system"), item.bytes);
  }
}

TEST_F(ConsoleTest, ProgramFolderWithAQuotationMarkIsRefusedBeforeAnythingChanges) {
  const auto folder = scratch / "Ravlin \"copy\"";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(BinPath("ravlin"), folder / "ravlin");
  const auto guest = scratch / "guest";
  const auto hive = guest / "system32" / "config" / "system";
  std::filesystem::create_directories(hive.parent_path());
  testing::MakeTestHive(hive, {{"ControlSet001\\Services", {}}});
  const std::string before = ReadFile(hive);

  const auto result = Run(folder / "ravlin", {"--console", "--guest", guest.string(), "--yes"});

  EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
  ExpectInOrder(result.out, {"== Ravlin (critical) ==\nRavlin cannot work from its folder:  " +
                             OnDriveZ(folder) + "\nThe path holds a double quotation mark"});
  EXPECT_EQ(result.out.find("Status:"), std::string::npos) << result.out;
  EXPECT_EQ(ReadFile(hive), before);
  EXPECT_FALSE(std::filesystem::exists(scratch / "registry" / "mounts"));
}

}  // namespace
}  // namespace ravlin

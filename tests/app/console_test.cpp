#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::BinPath;
using testing::ProgramResult;
using testing::RunProgram;
using testing::TempDir;

// "/tmp/x/y" as the default drive Z: names it.
std::string OnDriveZ(const std::filesystem::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

class ConsoleTest : public ::testing::Test {
 protected:
  ProgramResult Ravlin(std::vector<std::string> arguments, std::string input = "") {
    arguments.insert(arguments.begin(), BinPath("ravlin").string());
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

}  // namespace
}  // namespace ravlin

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/posix/registry/posix_registry_storage.hpp"
#include "tests/support/process_group.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::ScopedEnv;
using testing::ScriptedUi;
using testing::TempDir;

const std::string kOwnWindowsText =
    "The path you have chosen is the current Windows path.\r\n\r\n"
    "If you are using Ravlin to fix a system where Windows\r\n"
    "is already loading, then you've missed the entire purpose!\r\n"
    "Please select a new Windows path or simply give it up!";

class BrowsePressTest : public ::testing::Test {
 protected:
  BrowsePressTest() {
    options.drives = "C=" + drive.path().string();
    options.registryStore = registry.path();
    options.programFolder = std::filesystem::path(RAVLIN_BIN_DIR);
    form = std::make_unique<Form1>(MakePlatform(ui, options), *ui);
    form->Load();
    ui->events.clear();
  }

  bool Shown(const std::string& event) const {
    return std::find(ui->events.begin(), ui->events.end(), event) != ui->events.end();
  }

  TempDir drive;
  TempDir registry;
  ScopedEnv windir{"windir", std::nullopt};
  PlatformOptions options;
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  std::unique_ptr<Form1> form;
};

TEST_F(BrowsePressTest, CancelledDialogReturnsToIdleWithoutAnyMessage) {
  form->Browse_Click();

  const std::vector<std::string> expected{
      "Status: Closing regedit.exe", "Status: Choosing a Windows Directory...",
      "Dialog: Choose a Windows Directory", "Text1: <Select a valid Windows directory>",
      "Status: Idle"};
  EXPECT_EQ(ui->events, expected);
  EXPECT_TRUE(ui->boxes.empty());
  EXPECT_TRUE(form->Loaded());
  EXPECT_FALSE(form->Busy());
}

TEST_F(BrowsePressTest, RunningSystemsOwnWindowsDirectoryIsRejectedIgnoringCase) {
  std::filesystem::create_directories(drive / "windows");
  ScopedEnv own("windir", "C:\\WINDOWS");
  ui->folderChoices.push_back(drive / "windows");

  form->Browse_Click();

  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, kOwnWindowsText);
  EXPECT_EQ(ui->boxes[0].style, 64);
  EXPECT_EQ(ui->boxes[0].title, "Ravlin");
  EXPECT_EQ(form->Text(ControlId::Text1), "<Select a valid Windows directory>");
  EXPECT_EQ(form->Text(ControlId::Label3), "Idle");
  EXPECT_TRUE(form->Loaded());
}

TEST_F(BrowsePressTest, DriveRootGivesDoubledBackslashAndNoWindirMatch) {
  ScopedEnv own("windir", "C:");
  ui->folderChoices.push_back(drive.path());

  form->Browse_Click();

  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "Cannot find SYSTEM hive:\r\nC:\\\\system32\\config\\system");
  EXPECT_EQ(ui->boxes[0].style, 0);
  EXPECT_EQ(ui->boxes[0].title, "Ravlin");
}

TEST_F(BrowsePressTest, FolderWithoutHiveIsRejectedWithItsDriveLetterPath) {
  std::filesystem::create_directories(drive / "Guest" / "system32" / "config");
  ui->folderChoices.push_back(drive / "Guest");

  form->Browse_Click();

  ASSERT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(ui->boxes[0].text, "Cannot find SYSTEM hive:\r\nC:\\Guest\\system32\\config\\system");
  const std::vector<std::string> tail(ui->events.end() - 2, ui->events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Text1: <Select a valid Windows directory>",
                                            "Status: Idle"}));
  EXPECT_FALSE(Shown("Text1: C:\\Guest"));
}

TEST_F(BrowsePressTest, HiveFoundDespiteDifferentCaseBecomesTheGuestDirectory) {
  testing::WriteFile(drive / "Guest" / "System32" / "CONFIG" / "SYSTEM", "not checked here");
  ui->folderChoices.push_back(drive / "Guest");

  form->Browse_Click();

  EXPECT_TRUE(Shown("Text1: C:\\Guest"));
  for (const auto& box : ui->boxes)
    EXPECT_EQ(box.text.find("Cannot find SYSTEM hive"), std::string::npos);
}

TEST_F(BrowsePressTest, TwoPressesShareOneToolkitObject) {
  EXPECT_EQ(form->FsoObject(), nullptr);
  form->Browse_Click();
  const clsFSO* first = form->FsoObject();
  ASSERT_NE(first, nullptr);
  form->Browse_Click();
  EXPECT_EQ(form->FsoObject(), first);
}

TEST_F(BrowsePressTest, SecondPressAndCloseAreRefusedWhileAPressRuns) {
  ui->folderChoices.push_back(drive.path() / "missing");
  bool closeAccepted = true;
  std::size_t eventsDuringBox = 0;
  ui->onBox = [&](const testing::ShownBox&) {
    eventsDuringBox = ui->events.size();
    form->Browse_Click();
    closeAccepted = form->RequestClose();
    ui->onBox = nullptr;
  };

  form->Browse_Click();

  EXPECT_FALSE(closeAccepted);
  EXPECT_EQ(ui->boxes.size(), 1u);
  EXPECT_EQ(std::count(ui->events.begin(), ui->events.end(), "Status: Closing regedit.exe"), 1);
  EXPECT_EQ(ui->events[eventsDuringBox], "Text1: <Select a valid Windows directory>");
  EXPECT_TRUE(form->Loaded());
  EXPECT_TRUE(form->RequestClose());
  EXPECT_TRUE(ui->unloaded);
}

TEST_F(BrowsePressTest, ClosingBeforeAnyPressShowsNothing) {
  EXPECT_TRUE(form->RequestClose());
  EXPECT_TRUE(ui->unloaded);
  EXPECT_TRUE(ui->boxes.empty());
  EXPECT_EQ(form->FsoObject(), nullptr);
}

// A stand-in registry editor (a long sleep under the editor's name) with exactly the given
// environment; killed and reaped when the test ends.
class StandInEditor {
 public:
  StandInEditor(const std::filesystem::path& program, const testing::Variables& environment)
      : emptyEnvironment_(environment.empty()), editor_(Sleep(program, environment), "/dev/null") {}

  // Once it has taken the editor's name and, unless it has none, its environment, as a process
  // scan sees them (the name comes first while the program starts).
  bool Started(const std::string& name) const {
    const std::string folder = "/proc/" + std::to_string(editor_.id());
    for (int i = 0; i < 500; ++i) {
      if (testing::ReadFile(folder + "/comm") == name + "\n" &&
          testing::ReadFile(folder + "/environ").empty() == emptyEnvironment_)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  bool Running() { return !editor_.Wait(std::chrono::milliseconds(0)); }
  // Whether it ended by a signal; waits for its end.
  bool Killed() { return editor_.Wait(std::chrono::milliseconds(-1)) == -1; }

 private:
  static testing::ProgramRun Sleep(const std::filesystem::path& program,
                                   const testing::Variables& environment) {
    testing::ProgramRun run;
    run.arguments = {program.string(), "30"};
    run.environment = environment;
    run.inheritEnvironment = false;
    return run;
  }
  bool emptyEnvironment_;
  testing::ProgramGroup editor_;
};

TEST_F(BrowsePressTest, RunningRegistryEditorIsEndedBeforeTheDialogOpens) {
  // The mark a running editor leaves on its store (the stand-ins cannot leave it themselves).
  const EditorPresence presence(registry.path());
  std::filesystem::copy_file("/bin/sleep", drive / "regedit");
  StandInEditor editor(drive / "regedit", {{"RAVLIN_REGISTRY", registry.path().string()}});
  ASSERT_TRUE(editor.Started("regedit"));

  form->Browse_Click();

  EXPECT_TRUE(editor.Killed());
  EXPECT_TRUE(Shown("Dialog: Choose a Windows Directory"));
}

TEST_F(BrowsePressTest, EditorsOfOtherStoresSurviveAPressAndOursDoesNot) {
  const EditorPresence presence(registry.path());
  std::filesystem::copy_file("/bin/sleep", drive / "regedit");
  std::filesystem::copy_file("/bin/sleep", drive / "regedit.exe");
  const std::string home = (drive / "home").string();
  // Started first, so that a scan meets them before ours.
  StandInEditor otherStore(drive / "regedit",
                           {{"RAVLIN_REGISTRY", (drive / "other store").string()}, {"HOME", home}});
  StandInEditor defaultStore(drive / "regedit.exe", {{"HOME", home}});
  // An editor caught while it starts (inside execve) already has its name, but its
  // environment reads empty: it may be starting on any store.
  StandInEditor starting(drive / "regedit", {});
  StandInEditor ours(drive / "regedit",
                     {{"RAVLIN_REGISTRY", registry.path().string()}, {"HOME", home}});
  ASSERT_TRUE(otherStore.Started("regedit") && defaultStore.Started("regedit.exe") &&
              starting.Started("regedit") && ours.Started("regedit"));

  form->Browse_Click();

  EXPECT_TRUE(ours.Killed());
  form->Browse_Click();
  EXPECT_TRUE(otherStore.Running());
  EXPECT_TRUE(defaultStore.Running());
  EXPECT_TRUE(starting.Running());
}

}  // namespace
}  // namespace ravlin

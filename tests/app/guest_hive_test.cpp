#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "system/modLoadReg.hpp"
#include "tests/support/commanded_token.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::ScriptedUi;
using testing::TempDir;
using testing::WriteFile;

const std::string kQuestion =
    "\"Ravlin_System\" already exists as a loaded registry hive.\r\n"
    "Would you like to unload the existing hive now?";
const std::string kSuccess = "Operation completed successfully!  Click OK to exit.";
const std::string kOpenHandleOnUnload =
    "Access Denied.  Likely an open Handle on hive:  Ravlin_System, 5\r\n"
    "Try closing the registry editor, closing the key, or unloading a hive of the same name.";

// The repair on the real Linux backend: drive C: and the registry store in a temporary
// folder, a program folder with registry files that mark each control set they reach, and
// the real registry-file importer, which runs as a process of its own and finds the same
// store and drives through the environment.
class GuestHiveTest : public ::testing::Test {
 protected:
  GuestHiveTest() {
    fs::create_directories(drive_);
    options_.drives = "C=" + drive_.string();
    options_.registryStore = store_;
    options_.programFolder = program_;
    MakeProgramFolder();
  }

  void MakeProgramFolder() {
    const fs::path required = program_ / "Ravlin_Required_Files";
    for (int n = 1; n <= 9; ++n) {
      const std::string controlSet = "ControlSet00" + std::to_string(n);
      WriteFile(required / ("tarvel00" + std::to_string(n) + ".reg"),
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Ravlin_System\\" + controlSet +
                    "\\Services\\RavlinTest]\r\n\"Start\"=dword:00000000\r\n\r\n"
                    // The key each import is read back by.
                    "[HKEY_LOCAL_MACHINE\\Ravlin_System\\" +
                    controlSet + "\\Control\\CriticalDeviceDatabase\\pci#cc_0101]\r\n");
    }
    for (const char* driver : {"atapi.sys", "intelide.sys", "pciide.sys", "pciidex.sys"})
      WriteFile(required / driver, std::string("driver ") + driver);
    fs::create_symlink(fs::path(RAVLIN_BIN_DIR) / "regedit", program_ / "regedit");
  }

  // A guest Windows directory on drive C: whose SYSTEM hive holds two control sets.
  fs::path MakeGuest(const std::string& name) {
    const fs::path hive = drive_ / name / "system32" / "config" / "system";
    fs::create_directories(hive.parent_path());
    testing::MakeTestHive(hive,
                          {{"ControlSet001\\Services", {}},
                           {"ControlSet002\\Services", {}},
                           {"Select", {testing::DwordValue("Current", 1)}}},
                          "CMI-CreateHive{2A7FB991-7BBE-4F9D-B91E-7CB51D4737F5}");
    return hive;
  }

  Platform NewPlatform() { return MakePlatform(ui_, options_); }

  // The window as the program starts it, with every box of the start-up cleared.
  void StartWindow(Platform platform) {
    platform_ = platform;
    form_ = std::make_unique<Form1>(std::move(platform), *ui_);
    form_->Load();
    ui_->events.clear();
    ui_->boxes.clear();
    ui_->statuses.clear();
  }

  // A mount of Ravlin_System that an earlier run left behind.
  void MountAsEarlierRun(const std::string& windowsPath) {
    ScriptedUi quiet;
    Platform earlier = MakePlatform(std::shared_ptr<Ui>(&quiet, [](Ui*) {}), options_);
    modLoadReg(earlier, "Ravlin").EnablePrivileges();
    ASSERT_EQ(earlier.registry->RegLoadKeyA(kHkeyLocalMachine, "Ravlin_System", windowsPath), 0);
  }

  void Press(const fs::path& guest) {
    ui_->folderChoices.push_back(guest);
    form_->Browse_Click();
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_->boxes) texts.push_back(box.text);
    return texts;
  }

  std::vector<Mount> Mounts() const { return MountTable(store_).Read(); }

  // Whether the importer's mark reached the control set in the hive file itself.
  static bool Marked(const fs::path& hive, const std::string& controlSet) {
    return testing::ExportHive(hive).find("\\" + controlSet + "\\Services\\RavlinTest]") !=
           std::string::npos;
  }

  TempDir temp_;
  fs::path drive_ = temp_ / "c";
  fs::path store_ = temp_ / "store";
  fs::path program_ = temp_ / "program";
  ScopedEnv registryVariable_{"RAVLIN_REGISTRY", store_.string()};
  ScopedEnv drivesVariable_{"RAVLIN_DRIVES", "C=" + drive_.string()};
  ScopedEnv windir_{"windir", std::nullopt};
  PlatformOptions options_;
  std::shared_ptr<ScriptedUi> ui_ = std::make_shared<ScriptedUi>();
  Platform platform_;
  std::unique_ptr<Form1> form_;
};

TEST_F(GuestHiveTest, GuestHiveIsMountedRepairedUnmountedAndTheProgramEnds) {
  const fs::path hive = MakeGuest("WINDOWS");
  StartWindow(NewPlatform());

  Press(drive_ / "WINDOWS");

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(ui_->boxes.at(0).style, 64);
  const std::vector<std::string> statuses{"Closing regedit.exe",
                                          "Choosing a Windows Directory...",
                                          "Loading SYSTEM Registry Hive...",
                                          "Importing Registry Files...",
                                          "Installing Driver Files...",
                                          "Unloading SYSTEM Registry Hive...",
                                          "Idle"};
  EXPECT_EQ(ui_->statuses, statuses);
  EXPECT_TRUE(ui_->unloaded);
  EXPECT_TRUE(Mounts().empty());
  // The mount was the guest's own file: both control sets carry the import.
  EXPECT_TRUE(Marked(hive, "ControlSet001"));
  EXPECT_TRUE(Marked(hive, "ControlSet002"));
  EXPECT_FALSE(Marked(hive, "ControlSet003"));
}

TEST_F(GuestHiveTest, ASecondRepairOnTheSameStoreIsToldAndChangesNothing) {
  const fs::path hive = MakeGuest("WINDOWS");
  // Another repair has started and mounted its guest.
  MountAsEarlierRun("C:\\WINDOWS\\system32\\config\\system");
  Platform running = NewPlatform();
  auto held = running.registry->ClaimForRepair();
  ASSERT_NE(held, nullptr);
  const auto before = ReadFile(hive);
  const auto mounts = Mounts();
  StartWindow(NewPlatform());

  Press(drive_ / "WINDOWS");

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            "Another repair is running with the same registry.\r\n"
                            "Nothing was changed. Wait until it has ended, then try again."});
  EXPECT_EQ(ui_->boxes.at(0).style, 48);
  EXPECT_EQ(ui_->statuses, std::vector<std::string>{"Idle"}) << "no editor was closed";
  EXPECT_EQ(ui_->folderChoices.size(), 1u) << "no folder was asked for";
  EXPECT_EQ(ReadFile(hive), before);
  ASSERT_EQ(Mounts().size(), mounts.size());
  EXPECT_EQ(Mounts().at(0).file, mounts.at(0).file);
  EXPECT_FALSE(form_->Busy());

  // Once the other repair has ended, the next press runs.
  held.reset();
  ui_->folderChoices.clear();
  ui_->boxes.clear();
  Press(drive_ / "WINDOWS");
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kQuestion, kSuccess}));
  EXPECT_TRUE(Marked(hive, "ControlSet001"));
}

TEST_F(GuestHiveTest, OldMountDiscardedOnOkAndTheNewGuestIsRepaired) {
  const fs::path old = MakeGuest("OLD");
  const std::string oldBytes = ReadFile(old);
  const fs::path hive = MakeGuest("NEW");
  MountAsEarlierRun("C:\\OLD\\system32\\config\\system");
  // What the earlier, unfinished run changed below its mount never reaches its guest.
  {
    Platform earlier = NewPlatform();
    RegKey key = 0;
    ASSERT_EQ(earlier.registry->RegCreateKeyExA(kHkeyLocalMachine,
                                                "Ravlin_System\\ControlSet001\\Half done", "", 0,
                                                kKeyAllAccess, key, nullptr),
              0);
    ASSERT_EQ(earlier.registry->RegCloseKey(key), 0);
  }
  StartWindow(NewPlatform());
  ui_->boxAnswers = {1};

  Press(drive_ / "NEW");

  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kQuestion, kSuccess}));
  EXPECT_EQ(ui_->boxes.at(0).style, 65);
  EXPECT_EQ(ui_->boxes.at(0).title, "Ravlin");
  const std::vector<std::string> statuses{"Closing regedit.exe",
                                          "Choosing a Windows Directory...",
                                          "Loading SYSTEM Registry Hive...",
                                          "Unloading SYSTEM Registry Hive...",
                                          "Importing Registry Files...",
                                          "Installing Driver Files...",
                                          "Unloading SYSTEM Registry Hive...",
                                          "Idle"};
  EXPECT_EQ(ui_->statuses, statuses);
  EXPECT_TRUE(Mounts().empty());
  EXPECT_TRUE(Marked(hive, "ControlSet001"));
  EXPECT_EQ(ReadFile(old), oldBytes);
}

TEST_F(GuestHiveTest, CancelOnTheOldMountStopsTheAttemptAndLeavesBothHivesAlone) {
  const fs::path old = MakeGuest("OLD");
  const fs::path hive = MakeGuest("NEW");
  const std::string oldBytes = ReadFile(old);
  const std::string newBytes = ReadFile(hive);
  MountAsEarlierRun("C:\\OLD\\system32\\config\\system");
  StartWindow(NewPlatform());
  ui_->boxAnswers = {2};

  Press(drive_ / "NEW");

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(ui_->statuses.back(), "Idle");
  EXPECT_EQ(form_->Text(ControlId::Text1), "<Select a valid Windows directory>");
  EXPECT_TRUE(form_->Loaded());
  const auto mounts = Mounts();
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].file, fs::canonical(old));
  EXPECT_EQ(ReadFile(old), oldBytes);
  EXPECT_EQ(ReadFile(hive), newBytes);

  // Closing the window leaves the earlier run's mount alone.
  form_->RequestClose();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kQuestion});
  EXPECT_EQ(Mounts().size(), 1u);
}

TEST_F(GuestHiveTest, FileThatIsNoHiveIsRefusedWithItsStatusAndLeftUnchanged) {
  const fs::path hive = drive_ / "GUEST" / "system32" / "config" / "system";
  std::string garbage(20000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7 + 3);
  WriteFile(hive, garbage);
  StartWindow(NewPlatform());

  Press(drive_ / "GUEST");

  ASSERT_EQ(ui_->boxes.size(), 1u);
  const std::string& text = ui_->boxes[0].text;
  EXPECT_TRUE(
      text == "Unknown error loading registry hive, 1017\r\nC:\\GUEST\\system32\\config\\system" ||
      text == "Unknown error loading registry hive, 1009\r\nC:\\GUEST\\system32\\config\\system")
      << text;
  EXPECT_EQ(ui_->boxes[0].style, 0);
  const std::vector<std::string> tail(ui_->events.end() - 3, ui_->events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"Text1: <Select another Windows directory>",
                                            "Text1: <Select a valid Windows directory>",
                                            "Status: Idle"}));
  EXPECT_EQ(ReadFile(hive), garbage);
  EXPECT_TRUE(Mounts().empty());
}

TEST_F(GuestHiveTest, NameInUseByAPlainKeyCannotBeUnloadedNorMountedOver) {
  MakeGuest("GUEST");
  StartWindow(NewPlatform());
  RegKey key = 0;
  ASSERT_EQ(platform_.registry->RegCreateKeyExA(kHkeyLocalMachine, "Ravlin_System", "", 0,
                                                kKeyAllAccess, key, nullptr),
            0);
  ASSERT_EQ(platform_.registry->RegCloseKey(key), 0);
  ui_->boxAnswers = {1};

  Press(drive_ / "GUEST");

  // The unload message names the newly chosen guest: it is built from Text1.
  EXPECT_EQ(
      BoxTexts(),
      (std::vector<std::string>{
          kQuestion, "Error unloading registry hive, 2\r\nC:\\GUEST\\system32\\config\\system",
          "Open Handle on hive:  Ravlin_System, 5\r\nC:\\GUEST\\system32\\config\\system"}));
  EXPECT_EQ(form_->Text(ControlId::Text1), "<Select a valid Windows directory>");
  EXPECT_TRUE(Mounts().empty());
}

TEST_F(GuestHiveTest, OpenKeyInTheOldMountBlocksItsUnloadAndTheNewMount) {
  MakeGuest("OLD");
  MakeGuest("NEW");
  MountAsEarlierRun("C:\\OLD\\system32\\config\\system");
  StartWindow(NewPlatform());
  RegKey open = 0;
  ASSERT_EQ(platform_.registry->RegOpenKeyExA(kHkeyLocalMachine, "Ravlin_System\\ControlSet001", 0,
                                              kKeyQueryValue, open),
            0);
  ui_->boxAnswers = {1};

  Press(drive_ / "NEW");

  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{
                kQuestion, kOpenHandleOnUnload + "\r\nC:\\NEW\\system32\\config\\system",
                "Open Handle on hive:  Ravlin_System, 5\r\nC:\\NEW\\system32\\config\\system"}));
  EXPECT_EQ(Mounts().size(), 1u);
  EXPECT_EQ(platform_.registry->RegCloseKey(open), 0);
}

TEST_F(GuestHiveTest, WithoutPrivilegesBothCallsReportThePermissionsError) {
  MakeGuest("OLD");
  MakeGuest("NEW");
  MountAsEarlierRun("C:\\OLD\\system32\\config\\system");
  Platform platform = NewPlatform();
  // A process token that cannot be opened, so that the hive privileges are never enabled.
  auto token = std::make_shared<testing::CommandedToken>();
  token->openError = 5;
  platform.token = token;
  StartWindow(platform);
  ui_->boxAnswers = {1};

  Press(drive_ / "NEW");

  EXPECT_EQ(
      BoxTexts(),
      (std::vector<std::string>{
          kQuestion,
          "Permissions error unloading registry hive, 1314\r\nC:\\NEW\\system32\\config\\system",
          "Permissions error loading registry hive:\r\nC:\\NEW\\system32\\config\\system"}));
  EXPECT_EQ(Mounts().size(), 1u);
}

TEST_F(GuestHiveTest, HiveFileMountedUnderAnotherNameIsRefused) {
  MakeGuest("GUEST");
  ScriptedUi quiet;
  Platform other = MakePlatform(std::shared_ptr<Ui>(&quiet, [](Ui*) {}), options_);
  modLoadReg(other, "Ravlin").EnablePrivileges();
  ASSERT_EQ(other.registry->RegLoadKeyA(kHkeyLocalMachine, "Elsewhere",
                                        "C:\\GUEST\\system32\\config\\system"),
            0);
  StartWindow(NewPlatform());

  Press(drive_ / "GUEST");

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Unknown error loading registry hive, 32\r\n"
                                                 "C:\\GUEST\\system32\\config\\system"});
  EXPECT_EQ(other.registry->RegUnLoadKeyA(kHkeyLocalMachine, "Elsewhere"), 0);
}

TEST_F(GuestHiveTest, AStoppedAttemptDiscardsItsMountAndTheWindowDiscardsWhatIsLeft) {
  const fs::path hive = MakeGuest("GUEST");
  const std::string untouched = ReadFile(hive);
  // A file where the driver folder belongs stops the installation after the import.
  WriteFile(drive_ / "GUEST" / "system32" / "drivers", "in the way");
  StartWindow(NewPlatform());

  Press(drive_ / "GUEST");
  ASSERT_FALSE(ui_->boxes.empty());
  EXPECT_EQ(BoxTexts().back(), "Could not create:  C:\\GUEST\\system32\\drivers");
  EXPECT_TRUE(form_->Loaded());
  EXPECT_TRUE(Mounts().empty());
  EXPECT_EQ(ReadFile(hive), untouched);
  EXPECT_FALSE(fs::exists(hive.string() + ".ravlin-backup"));

  // A key left open keeps the next stopped attempt's mount: the failure names the guest's
  // hive file, and closing the window discards the mount once the key is closed.
  RegKey open = 0;
  ui_->onBox = [&](const testing::ShownBox& box) {
    if (box.text.starts_with("Could not create:")) {
      ASSERT_EQ(platform_.registry->RegOpenKeyExA(kHkeyLocalMachine, "Ravlin_System", 0,
                                                  kKeyQueryValue, open),
                0);
    }
  };
  ui_->boxes.clear();
  Press(drive_ / "GUEST");
  EXPECT_EQ(BoxTexts().back(), kOpenHandleOnUnload + "\r\nC:\\GUEST\\system32\\config\\system");
  ASSERT_EQ(Mounts().size(), 1u);
  EXPECT_EQ(platform_.registry->RegCloseKey(open), 0);
  ui_->boxes.clear();
  form_->RequestClose();
  EXPECT_TRUE(ui_->boxes.empty()) << ::testing::PrintToString(BoxTexts());
  EXPECT_TRUE(ui_->unloaded);
  EXPECT_TRUE(Mounts().empty());
  EXPECT_EQ(ReadFile(hive), untouched);
}

}  // namespace
}  // namespace ravlin

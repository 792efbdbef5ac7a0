#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/codepage.hpp"
#include "platform/posix/registry/posix_registry_mounts.hpp"
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

const std::string kSuccess = "Operation completed successfully!  Click OK to exit.";
const std::string kCopyFailed = "Critical Error copying file.  Check paths and permissions.";
const std::vector<std::string> kDrivers = {"atapi.sys", "intelide.sys", "pciide.sys",
                                           "pciidex.sys"};

// The scripted user, who also keeps the plain lines that explain a status after its box.
class ExplainedUi : public ScriptedUi {
 public:
  std::vector<std::string> explanations;
  void StatusExplained(const std::string& explanation) override {
    explanations.push_back(explanation);
  }
};

// The import and driver stages on the real Linux backend: drive C: and the registry store in
// a temporary folder, a program folder holding the shipped registry files, stand-in driver
// files and an editor that logs each command line and hands it to the real importer (a
// process of its own that finds the same store and drives through the environment).
class InstallFixesTest : public ::testing::Test {
 protected:
  InstallFixesTest() {
    fs::create_directories(drive_);
    options_.drives = "C=" + drive_.string();
    options_.registryStore = store_;
    MakeProgramFolder(temp_ / "program folder");
  }

  void MakeProgramFolder(const fs::path& folder) {
    program_ = folder;
    options_.programFolder = folder;
    const fs::path required = folder / "Ravlin_Required_Files";
    fs::create_directories(required);
    const fs::path shipped = fs::path(RAVLIN_SOURCE_DIR) / "data" / "Ravlin_Required_Files";
    for (int n = 1; n <= 9; ++n) fs::copy_file(shipped / RegFile(n), required / RegFile(n));
    for (const auto& driver : kDrivers) WriteFile(required / driver, "new " + driver);
    WriteFile(folder / "regedit", "#!/bin/sh\nprintf '%s|' \"$@\" >> '" + log_.string() +
                                      "'\necho >> '" + log_.string() + "'\nexec '" +
                                      (fs::path(RAVLIN_BIN_DIR) / "regedit").string() +
                                      "' \"$@\"\n");
    fs::permissions(folder / "regedit", fs::perms::owner_all);
  }

  static std::string RegFile(int n) { return "tarvel00" + std::to_string(n) + ".reg"; }

  // A guest C:\WINDOWS whose hive holds the given control sets, PCIIde disabled in each.
  fs::path MakeGuest(const std::vector<int>& controlSets) {
    std::vector<testing::TestKey> keys{{"Select", {testing::DwordValue("Current", 1)}}};
    for (const int n : controlSets)
      keys.push_back({"ControlSet00" + std::to_string(n) + "\\Services\\PCIIde",
                      {testing::DwordValue("Start", 4)}});
    fs::create_directories(hive_.parent_path());
    testing::MakeTestHive(hive_, keys, "$$$PROTO.HIV");
    return hive_;
  }

  void AllDriversInGuest() {
    for (const auto& driver : kDrivers) WriteFile(drivers_ / driver, "old " + driver);
  }

  void Press() {
    form_ = std::make_unique<Form1>(MakePlatform(ui_, options_), *ui_);
    form_->Load();
    ui_->boxes.clear();
    ui_->folderChoices.push_back(drive_ / "WINDOWS");
    form_->Browse_Click();
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui_->boxes) texts.push_back(box.text);
    return texts;
  }
  std::vector<std::string> EditorRuns() const {
    if (!fs::exists(log_)) return {};
    std::vector<std::string> runs;
    const std::string text = ReadFile(log_);
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find('\n', start);
      runs.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return runs;
  }
  std::string RegPath(int n) const {
    return MakePlatform(ui_, options_).environment->ProgramFolder() + "\\Ravlin_Required_Files\\" +
           RegFile(n);
  }
  // Whether the shipped settings reached control set N of the guest's hive: while it is
  // mounted, of the working copy that the unload writes back.
  bool Repaired(int n) const {
    const auto mounts = MountTable(store_).Read();
    const std::string exported =
        testing::ExportHive(mounts.empty() ? hive_ : store_ / mounts.front().copy);
    const std::string key =
        "\\ControlSet00" + std::to_string(n) + "\\Control\\CriticalDeviceDatabase\\pci#cc_0101]";
    return exported.find(key) != std::string::npos;
  }
  bool Mounted() const { return !MountTable(store_).Read().empty(); }

  // Shipped file N with `lines` inserted after its header, so that they are lines 2 and on.
  void EditRegFile(int n, const std::string& lines) {
    const fs::path file = program_ / "Ravlin_Required_Files" / RegFile(n);
    const std::string bytes = ReadFile(file);
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                    static_cast<std::uint8_t>(bytes[i + 1]) << 8);
    text.insert(text.find(u"\r\n") + 2, Utf8ToUtf16(lines));
    std::string edited = bytes.substr(0, 2);
    for (const char16_t c : text) {
      edited += static_cast<char>(c & 0xFF);
      edited += static_cast<char>(c >> 8);
    }
    WriteFile(file, edited);
  }

  TempDir temp_;
  fs::path drive_ = temp_ / "c";
  fs::path store_ = temp_ / "store";
  fs::path log_ = temp_ / "editor.log";
  fs::path hive_ = drive_ / "WINDOWS" / "system32" / "config" / "system";
  fs::path drivers_ = drive_ / "WINDOWS" / "system32" / "drivers";
  fs::path program_;
  ScopedEnv registryVariable_{"RAVLIN_REGISTRY", store_.string()};
  ScopedEnv drivesVariable_{"RAVLIN_DRIVES", "C=" + drive_.string()};
  ScopedEnv windir_{"windir", std::nullopt};
  PlatformOptions options_;
  std::shared_ptr<ExplainedUi> ui_ = std::make_shared<ExplainedUi>();
  std::unique_ptr<Form1> form_;
};

TEST_F(InstallFixesTest, EveryExistingControlSetIsImportedInOrderAcrossAGap) {
  MakeGuest({1, 3});
  AllDriversInGuest();
  Press();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  // The quotes keep the path with its blank one argument.
  EXPECT_EQ(EditorRuns(),
            (std::vector<std::string>{"/s|" + RegPath(1) + "|", "/s|" + RegPath(3) + "|"}));
  EXPECT_TRUE(Repaired(1));
  EXPECT_FALSE(Repaired(2));
  EXPECT_TRUE(Repaired(3));
  const std::vector<std::string> expectedStatuses{"Importing Registry Files...",
                                                  "Installing Driver Files..."};
  EXPECT_NE(std::search(ui_->statuses.begin(), ui_->statuses.end(), expectedStatuses.begin(),
                        expectedStatuses.end()),
            ui_->statuses.end());
  // Present driver files are neither compared nor replaced.
  for (const auto& driver : kDrivers) EXPECT_EQ(ReadFile(drivers_ / driver), "old " + driver);
}

TEST_F(InstallFixesTest, NoControlSetRunsNoEditorAndTheDriverStageStillFollows) {
  MakeGuest({});
  fs::create_directories(drivers_);
  Press();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  EXPECT_TRUE(EditorRuns().empty());
  for (const auto& driver : kDrivers) EXPECT_EQ(ReadFile(drivers_ / driver), "new " + driver);
}

TEST_F(InstallFixesTest, ProgramFolderAtADriveRootGivesADoubledBackslash) {
  MakeProgramFolder(temp_ / "root");
  options_.drives += ";P=" + program_.string();
  ScopedEnv drives{"RAVLIN_DRIVES", options_.drives};
  MakeGuest({2});
  AllDriversInGuest();
  Press();

  EXPECT_EQ(EditorRuns(),
            std::vector<std::string>{"/s|P:\\\\Ravlin_Required_Files\\tarvel002.reg|"});
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  EXPECT_TRUE(Repaired(2));
}

TEST_F(InstallFixesTest, AFailedImportStopsTheAttemptAndLeavesTheGuestAsItWas) {
  MakeGuest({1, 2, 3});
  const std::string untouched = ReadFile(hive_);
  fs::remove(program_ / "Ravlin_Required_Files" / RegFile(2));
  Press();

  ASSERT_EQ(ui_->boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[0].text, "Could not import the registry file:  " + RegPath(2) +
                                    "\r\nThe registry file is missing.");
  EXPECT_EQ(ui_->boxes[0].style, 16);
  EXPECT_EQ(ui_->boxes[0].title, "Ravlin");
  // Nothing after the failure runs, and control set 1's import is discarded with the mount.
  EXPECT_EQ(EditorRuns().size(), 1u);
  EXPECT_FALSE(Mounted());
  EXPECT_EQ(ReadFile(hive_), untouched);
  EXPECT_FALSE(fs::exists(hive_.string() + ".ravlin-backup"));
  EXPECT_FALSE(fs::exists(drivers_));
  EXPECT_FALSE(ui_->unloaded);
  EXPECT_EQ(form_->Text(ControlId::Text1), "<Select a valid Windows directory>");
}

TEST_F(InstallFixesTest, AnImportTheEditorFailsKeepsTheFollowingControlSetsOut) {
  MakeGuest({1, 2});
  const std::string untouched = ReadFile(hive_);
  // A value larger than one cell of a hive holds (16,344 bytes) in a key the file writes.
  std::string bytes = "00";
  for (int i = 1; i < 16400; ++i) bytes += ",00";
  EditRegFile(1,
              "[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001\\Services\\Big]\r\n"
              "\"Data\"=hex:" +
                  bytes + "\r\n");
  Press();

  ASSERT_EQ(ui_->boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[0].text.rfind("Could not import the registry file:  " + RegPath(1), 0), 0u);
  EXPECT_EQ(EditorRuns().size(), 1u);
  EXPECT_FALSE(Mounted());
  EXPECT_EQ(ReadFile(hive_), untouched);
  EXPECT_FALSE(fs::exists(drivers_));
}

TEST_F(InstallFixesTest, AGuestHiveChangedDuringTheRepairIsNeitherOverwrittenNorCalledRepaired) {
  MakeGuest({1, 2});
  AllDriversInGuest();
  // Another program writes into the guest's hive while the first import runs.
  std::string changed;
  ui_->onDoEvents = [&] {
    if (!changed.empty()) return;
    changed = ReadFile(hive_);
    changed.replace(4096 + 64, 5, "junk!");
    WriteFile(hive_, changed);
  };
  Press();

  ASSERT_FALSE(changed.empty()) << "the program never waited for an editor";
  const auto texts = BoxTexts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), kSuccess), 0) << ::testing::PrintToString(texts);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back().rfind("Error unloading registry hive, 1006\r\n", 0), 0u) << texts.back();
  ASSERT_FALSE(ui_->explanations.empty());
  EXPECT_EQ(ui_->explanations.back().rfind("Status 1006: ", 0), 0u);
  EXPECT_EQ(ReadFile(hive_), changed) << "the other program's hive was written over";
  EXPECT_FALSE(ui_->unloaded);
  EXPECT_EQ(form_->Text(ControlId::Text1), "<Select a valid Windows directory>");
  // The mount ended with the refusal: closing the window has nothing left to unmount.
  const std::size_t shown = ui_->boxes.size();
  EXPECT_TRUE(form_->RequestClose());
  EXPECT_EQ(ui_->boxes.size(), shown) << ::testing::PrintToString(BoxTexts());
}

TEST_F(InstallFixesTest, TheEditorsLastErrorLineReachesTheBoxAndItsStatusIsExplained) {
  MakeGuest({1});
  AllDriversInGuest();
  WriteFile(program_ / "regedit",
            "#!/bin/sh\necho 'regedit: checking' >&2\n"
            "echo 'regedit: line 5: cannot write the value \"Start\" (status 112)' >&2\nexit 1\n");
  const std::string untouched = ReadFile(hive_);
  Press();

  ASSERT_EQ(ui_->boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[0].text,
            "Could not import the registry file:  " + RegPath(1) +
                "\r\nThe registry editor ended with exit code 1:  regedit: line 5: cannot write "
                "the value \"Start\" (status 112)");
  ASSERT_EQ(ui_->explanations.size(), 1u);
  EXPECT_EQ(ui_->explanations[0].rfind("Status 112: the disk is full.", 0), 0u)
      << ui_->explanations[0];
  EXPECT_FALSE(Mounted());
  EXPECT_EQ(ReadFile(hive_), untouched);
}

TEST_F(InstallFixesTest, AFailedDriverCopyTakesBackTheOtherCopiesAndTheImports) {
  MakeGuest({1});
  const std::string untouched = ReadFile(hive_);
  WriteFile(drivers_ / "intelide.sys", "old intelide.sys");
  fs::remove(program_ / "Ravlin_Required_Files" / "pciidex.sys");
  // The copies that went well were on record before they took their names.
  std::string recordAtFailure;
  ui_->onBox = [&](const testing::ShownBox& box) {
    if (box.text == kCopyFailed) recordAtFailure = ReadFile(drive_ / "WINDOWS" / "ravlin.log");
  };
  Press();

  // Copy_File's own warning, then the stage's message; the other files are still tried.
  ASSERT_EQ(ui_->boxes.size(), 2u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[1].text, kCopyFailed);
  EXPECT_EQ(ui_->boxes[1].style, 16);
  EXPECT_NE(recordAtFailure.find("Driver atapi.sys: copied from "), std::string::npos)
      << recordAtFailure;
  EXPECT_NE(recordAtFailure.find("Driver pciide.sys: copied from "), std::string::npos);
  // Then everything the attempt did is taken back: only the guest's own file is left.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(drivers_))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"intelide.sys"});
  EXPECT_EQ(ReadFile(drivers_ / "intelide.sys"), "old intelide.sys");
  EXPECT_FALSE(Mounted());
  EXPECT_EQ(ReadFile(hive_), untouched);
  const std::string record = ReadFile(drive_ / "WINDOWS" / "ravlin.log");
  EXPECT_NE(record.find("Undone: the guest was left as it was before this attempt\r\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("End: aborted during \"Installing Driver Files...\": " + kCopyFailed),
            std::string::npos);
}

TEST_F(InstallFixesTest, MissingDriverFolderIsCreatedWithAllFourFiles) {
  MakeGuest({1});
  Press();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  for (const auto& driver : kDrivers) EXPECT_EQ(ReadFile(drivers_ / driver), "new " + driver);
  EXPECT_FALSE(Mounted());
}

TEST_F(InstallFixesTest, DriverFolderThatCannotBeCreatedStopsBeforeAnyCopy) {
  MakeGuest({1});
  // A file where the folder belongs: no folder of that name can be made.
  WriteFile(drivers_, "in the way");
  Press();

  ASSERT_EQ(ui_->boxes.size(), 2u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[1].text, "Could not create:  C:\\WINDOWS\\system32\\drivers");
  EXPECT_EQ(ui_->boxes[1].style, 16);
  EXPECT_EQ(ReadFile(drivers_), "in the way");
  EXPECT_FALSE(Mounted());
}

struct OutsideKey {
  std::string name;
  std::string lines;  // inserted as line 2 and on of tarvel001.reg
  std::string box;    // the second line of the box
};

void PrintTo(const OutsideKey& key, std::ostream* out) {
  *out << key.name;
}

class RegFileOutsideItsControlSetTest : public InstallFixesTest,
                                        public ::testing::WithParamInterface<OutsideKey> {};

TEST_P(RegFileOutsideItsControlSetTest, IsRefusedBeforeTheEditorRunsAndStopsTheAttempt) {
  MakeGuest({1});
  AllDriversInGuest();
  const std::string before = testing::ExportHive(hive_);
  EditRegFile(1, GetParam().lines);
  Press();

  ASSERT_EQ(ui_->boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[0].text, "Could not import the registry file:  " + RegPath(1) + "\r\n" +
                                    "The file writes outside HKEY_LOCAL_MACHINE\\Ravlin_System\\"
                                    "ControlSet001, so nothing of it was imported: line 2 " +
                                    GetParam().box);
  EXPECT_EQ(ui_->boxes[0].style, 16);
  EXPECT_TRUE(EditorRuns().empty());
  EXPECT_FALSE(Mounted());
  EXPECT_EQ(testing::ExportHive(hive_), before);
}

INSTANTIATE_TEST_SUITE_P(
    EditedCopies, RegFileOutsideItsControlSetTest,
    ::testing::Values(
        OutsideKey{"SelectKey",
                   "[HKEY_LOCAL_MACHINE\\Ravlin_System\\Select]\r\n\"Current\"=dword:00000002\r\n",
                   "names the key HKEY_LOCAL_MACHINE\\Ravlin_System\\Select."},
        OutsideKey{"CurrentUser", "[HKEY_CURRENT_USER\\Software\\Ravlin]\r\n",
                   "names the key HKEY_CURRENT_USER\\Software\\Ravlin."},
        OutsideKey{"ShortRootName", "[HKLM\\SOFTWARE\\Microsoft]\r\n",
                   "names the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft."},
        OutsideKey{"DeletionInAnotherSet",
                   "[-HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet002\\Enum]\r\n",
                   "deletes the key HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet002\\Enum."},
        // The control set itself is not a key inside it.
        OutsideKey{"DeletionOfTheSetItself",
                   "[-HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001]\r\n",
                   "deletes the key HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001."},
        OutsideKey{"DotDotComponent", "[-HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001\\..]\r\n",
                   "deletes the key HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001\\..."},
        // A longer name that merely starts with the control set's.
        OutsideKey{"LongerSetName",
                   "[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet0010\\Services]\r\n",
                   "names the key HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet0010\\Services."}),
    [](const auto& info) { return info.param.name; });

TEST_F(InstallFixesTest, KeysInsideTheControlSetInAnyCaseAreImported) {
  MakeGuest({1});
  AllDriversInGuest();
  EditRegFile(1,
              "[hkey_local_machine\\RAVLIN_SYSTEM\\controlset001\\Services\\Ravlin Probe]\r\n"
              "\"Start\"=dword:00000003\r\n"
              "[-HKLM\\Ravlin_System\\ControlSet001\\Services\\PCIIde\\Gone]\r\n");
  Press();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kSuccess});
  EXPECT_TRUE(Repaired(1));
  EXPECT_NE(testing::ExportHive(hive_).find("\\Services\\Ravlin Probe]"), std::string::npos);
}

// The system's editor ends with exit code 0 whatever it did, so each import is read back,
// value by value; the box's second line names the first one that is not as the file writes it.
std::string NotAsWrittenBox(const std::string& regPath, const std::string& difference) {
  return "Could not import the registry file:  " + regPath +
         "\r\nThe registry editor ended without an error, but " + difference;
}

TEST_F(InstallFixesTest, AnImportIsReadBackValueByValueWhateverTheGuestHeldBefore) {
  // An editor that imports the file and then changes one value it wrote: a partial import.
  MakeGuest({1});
  AllDriversInGuest();
  const std::string untouched = ReadFile(hive_);
  const fs::path undo = temp_ / "undo.reg";
  WriteFile(undo,
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001\\Services\\"
            "PCIIde]\r\n\"Start\"=dword:00000004\r\n");
  const std::string importer = (fs::path(RAVLIN_BIN_DIR) / "regedit").string();
  WriteFile(program_ / "regedit", "#!/bin/sh\n'" + importer + "' \"$@\" && exec '" + importer +
                                      "' /s '" + undo.string() + "'\n");
  Press();

  ASSERT_EQ(ui_->boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(ui_->boxes[0].text,
            NotAsWrittenBox(RegPath(1),
                            "the value \"Start\" of HKEY_LOCAL_MACHINE\\Ravlin_System\\"
                            "ControlSet001\\Services\\PCIIde is not as the file writes it."));
  EXPECT_EQ(ui_->boxes[0].style, 16);
  EXPECT_EQ(ui_->boxes[0].title, "Ravlin");
  EXPECT_FALSE(Mounted());
  EXPECT_EQ(ReadFile(hive_), untouched);
  EXPECT_FALSE(ui_->unloaded);
  EXPECT_EQ(form_->Text(ControlId::Text1), "<Select a valid Windows directory>");
}

TEST_F(InstallFixesTest, AnEditorThatEndsWellHavingWrittenNothingStopsTheAttempt) {
  // The guest already holds the key that a single read-back used to look for, as many
  // installed hives do: only reading back every value tells that nothing was imported.
  std::vector<testing::TestKey> keys{{"Select", {testing::DwordValue("Current", 1)}}};
  for (const int n : {1, 2})
    keys.push_back(
        {"ControlSet00" + std::to_string(n) + "\\Control\\CriticalDeviceDatabase\\pci#cc_0101",
         {testing::SzValue("Service", "pciide")}});
  fs::create_directories(hive_.parent_path());
  testing::MakeTestHive(hive_, keys, "$$$PROTO.HIV");
  AllDriversInGuest();
  WriteFile(program_ / "regedit", "#!/bin/sh\nexit 0\n");
  Press();

  ASSERT_EQ(ui_->boxes.size(), 1u) << ::testing::PrintToString(BoxTexts());
  const auto missing = [](int n) {
    return "the key HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet00" + std::to_string(n) +
           "\\Control\\CriticalDeviceDatabase\\primary_ide_channel, which the file writes, is "
           "not there.";
  };
  EXPECT_EQ(ui_->boxes[0].text, NotAsWrittenBox(RegPath(1), missing(1)));
  EXPECT_FALSE(Mounted());
  EXPECT_FALSE(ui_->unloaded);
  EXPECT_NE(form_->Record().Lines().end(),
            std::find_if(form_->Record().Lines().begin(), form_->Record().Lines().end(),
                         [&](const std::string& line) {
                           return line.find(missing(1)) != std::string::npos;
                         }));
}

}  // namespace
}  // namespace ravlin

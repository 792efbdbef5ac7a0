#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "platform/posix/registry/posix_registry_mounts.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

const std::vector<std::string> kDrivers = {"atapi.sys", "intelide.sys", "pciide.sys",
                                           "pciidex.sys"};

// The guest hive as hivexregedit reads it, strings shown as text.
std::string Export(const fs::path& hive) {
  ProgramRun run;
  run.arguments = {"/usr/bin/hivexregedit",
                   "--export",
                   "--unsafe-printable-strings",
                   "--prefix",
                   "HKEY_LOCAL_MACHINE\\SYSTEM",
                   hive.string(),
                   "\\"};
  const ProgramResult result = RunProgram(run);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

// One key of the export, up to the blank line after it; empty when the key is missing.
std::string Section(const std::string& exported, const std::string& key) {
  const std::string header = "[HKEY_LOCAL_MACHINE\\SYSTEM\\" + key + "]\n";
  const std::size_t start = exported.find(header);
  if (start == std::string::npos) return {};
  return exported.substr(start, exported.find("\n\n", start) + 1 - start);
}

// A user's run: a program folder of their own (a copy of the build's programs, its required
// files completed with the driver files), a sample guest, and the console front end
// answering the dialog and every box itself.
class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() {
    fs::copy(RAVLIN_BIN_DIR, program, fs::copy_options::recursive);
    for (const auto& driver : kDrivers)
      WriteFile(program / "Ravlin_Required_Files" / driver, "shipped " + driver);
  }

  // A sample guest WINDOWS folder below `drive` that lacks the given driver files.
  void MakeSample(const fs::path& drive, const std::vector<std::string>& without) {
    ProgramRun sample;
    sample.arguments = {(program / "ravlin-sample").string(), drive.string()};
    for (const auto& driver : without)
      sample.arguments.insert(sample.arguments.end(), {"--without", driver});
    ASSERT_EQ(RunProgram(sample).exitCode, 0);
  }

  // One repair of `windows` with the given drive table.
  ProgramResult Repair(const fs::path& windows, const std::string& drives) {
    ProgramRun repair;
    repair.arguments = {(program / "ravlin").string(), "--console", "--guest", windows.string(),
                        "--yes"};
    repair.environment = {{"RAVLIN_DRIVES", drives},
                          {"RAVLIN_REGISTRY", store.string()},
                          {"windir", std::nullopt},
                          {"DISPLAY", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}};
    repair.workingDirectory = temp.path();
    return RunProgram(repair);
  }

  TempDir temp;
  fs::path program = temp / "Ravlin program";
  fs::path store = temp / "registry";
};

TEST_F(EndToEnd, ConsoleRepairOfASampleGuest) {
  const fs::path drive = temp / "xp";
  MakeSample(drive, {"atapi.sys", "pciidex.sys"});
  const fs::path hive = drive / "WINDOWS" / "system32" / "config" / "system";
  const fs::path drivers = drive / "WINDOWS" / "system32" / "drivers";
  const std::string untouched = ReadFile(hive);
  const std::string sampleIntelIde = ReadFile(drivers / "intelide.sys");

  const ProgramResult result = Repair(drive / "WINDOWS", "C=" + drive.string());

  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Operation completed successfully!  Click OK to exit."),
            std::string::npos)
      << result.out;

  const std::string exported = Export(hive);
  for (const std::string controlSet : {"ControlSet001", "ControlSet002"}) {
    SCOPED_TRACE(controlSet);
    const std::string devices = controlSet + "\\Control\\CriticalDeviceDatabase\\";
    EXPECT_NE(Section(exported, devices + "pci#cc_0101").find("\"Service\"=str(1):\"pciide\""),
              std::string::npos)
        << exported;
    EXPECT_NE(Section(exported, devices + "primary_ide_channel").find("\"atapi\""),
              std::string::npos);
    EXPECT_NE(Section(exported, devices + "pci#ven_8086&dev_7111").find("\"intelide\""),
              std::string::npos);
    const std::string pciide = Section(exported, controlSet + "\\Services\\PCIIde");
    EXPECT_NE(pciide.find("\"ImagePath\"=str(2):\"System32\\DRIVERS\\pciide.sys\""),
              std::string::npos)
        << pciide;
    EXPECT_NE(pciide.find("\"Start\"=dword:00000000"), std::string::npos) << pciide;
    EXPECT_NE(Section(exported, controlSet + "\\Services\\Tcpip"), "") << "the rest is kept";
  }
  EXPECT_EQ(Section(exported, "ControlSet003"), "");

  EXPECT_EQ(ReadFile(drivers / "atapi.sys"), "shipped atapi.sys");
  EXPECT_EQ(ReadFile(drivers / "pciidex.sys"), "shipped pciidex.sys");
  EXPECT_EQ(ReadFile(drivers / "intelide.sys"), sampleIntelIde);
  EXPECT_TRUE(MountTable(store).Read().empty());
  EXPECT_EQ(ReadFile(hive.string() + ".ravlin-backup"), untouched);
}

// The names of a folder's entries, sorted.
std::vector<std::string> EntriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(EndToEnd, DriversFolderLinkedOutOfTheGuestIsNeverWritten) {
  const fs::path drive = temp / "xp";
  MakeSample(drive, {"atapi.sys"});
  const fs::path drivers = drive / "WINDOWS" / "system32" / "drivers";
  const fs::path elsewhere = temp / "elsewhere";
  fs::rename(drivers, elsewhere);
  fs::create_directory_symlink(elsewhere, drivers);
  const std::vector<std::string> before = EntriesOf(elsewhere);

  // The program's own workflow in this process, its importer a process of its own.
  const ScopedEnv registryVariable("RAVLIN_REGISTRY", store.string());
  const ScopedEnv drivesVariable("RAVLIN_DRIVES", "C=" + drive.string());
  const ScopedEnv windir("windir", std::nullopt);
  PlatformOptions options;
  options.drives = "C=" + drive.string();
  options.registryStore = store;
  options.programFolder = program;
  const auto ui = std::make_shared<ScriptedUi>();
  Form1 form(MakePlatform(ui, options), *ui);
  form.Load();
  ui->boxes.clear();
  ui->folderChoices.push_back(drive / "WINDOWS");
  form.Browse_Click();

  // Copy_File's own box, then the stage's, and no other.
  ASSERT_EQ(ui->boxes.size(), 2u);
  EXPECT_EQ(ui->boxes[0].title, "Error Detected");
  EXPECT_NE(ui->boxes[0].text.find("TO: C:\\WINDOWS\\system32\\drivers\\"), std::string::npos);
  EXPECT_EQ(ui->boxes[1].text, "Critical Error copying file.  Check paths and permissions.");
  EXPECT_EQ(ui->boxes[1].style, 16);
  // The stopped attempt's mount is discarded, never written into the guest.
  EXPECT_TRUE(MountTable(store).Read().empty());
  EXPECT_EQ(EntriesOf(elsewhere), before);
  EXPECT_FALSE(fs::exists(elsewhere / "atapi.sys"));
}

TEST_F(EndToEnd, GuestBelowACyrillicVolumeLabelIsRepairedAndShownReadably) {
  // As a desktop mounts a volume labelled "Новый том"; drive Z: is the machine's root.
  const fs::path volume = temp / "media" / "user" / "Новый том";
  MakeSample(volume, {"atapi.sys"});
  fs::create_directories(volume / "Пусто");
  const auto windowsText = [](const fs::path& native) {
    std::string text = "Z:" + native.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
  };

  const ProgramResult empty = Repair(volume / "Пусто", "");
  EXPECT_NE(empty.out.find("Cannot find SYSTEM hive:\n" + windowsText(volume / "Пусто") +
                           "\\system32\\config\\system"),
            std::string::npos)
      << empty.out;

  const fs::path hive = volume / "WINDOWS" / "system32" / "config" / "system";
  const ProgramResult result = Repair(volume / "WINDOWS", "");
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("[" + windowsText(volume / "WINDOWS") + "]"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Operation completed successfully!  Click OK to exit."),
            std::string::npos);
  EXPECT_NE(
      Section(Export(hive), "ControlSet001\\Services\\PCIIde").find("\"Start\"=dword:00000000"),
      std::string::npos);
  EXPECT_EQ(ReadFile(volume / "WINDOWS" / "system32" / "drivers" / "atapi.sys"),
            "shipped atapi.sys");
  EXPECT_TRUE(MountTable(store).Read().empty());
}

}  // namespace
}  // namespace ravlin

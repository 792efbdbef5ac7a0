#include <gtest/gtest.h>

#include <sstream>

#include "app/form1.hpp"
#include "platform/backend.hpp"
#include "tests/app/console_guest.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/sysfs_tree.hpp"

namespace ravlin {
namespace {

using namespace ravlin::testing;

// The lines in `text` that begin with "Controller ", in order.
std::vector<std::string> ControllerLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("Controller ")) lines.push_back(line);
  }
  return lines;
}

class BoardConsole : public ConsoleGuest {
 protected:
  BoardConsole() {
    AddDriverCabinets({"driver.cab"});
    MakeSysfsBoard(sysfs_);
    environment_["RAVLIN_SYSFS"] = sysfs_.string();
  }
  std::filesystem::path sysfs_ = temp_ / "sysfs";
};

const std::vector<std::string> kBoardLines = {
    "Controller PCI\\VEN_8086&DEV_7111&SUBSYS_11001AF4&REV_01 (IDE): driven by intelide "
    "(system32\\DRIVERS\\intelide.sys)",
    "Controller PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043&REV_02 (SATA AHCI): no boot driver in the "
    "guest"};

TEST_F(BoardConsole, TheRepairJudgesEachControllerInTheConsoleAndTheRecord) {
  // Before the repair the dry run already judges the guest as the repair would leave it.
  const ProgramResult dryRun = Repair({"--dry-run"});
  ASSERT_EQ(dryRun.exitCode, 0) << dryRun.out << dryRun.err;
  EXPECT_EQ(ControllerLines(dryRun.out), kBoardLines) << dryRun.out;
  EXPECT_FALSE(std::filesystem::exists(Driver("intelide.sys")));

  const ProgramResult result = Repair();
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_EQ(ControllerLines(result.out), kBoardLines) << result.out;
  EXPECT_EQ(ControllerLines(ReadFile(windows_ / "ravlin.log")), kBoardLines);
  // The lines come after the unmount that wrote the guest's hive, before the success box.
  EXPECT_LT(result.out.find("Unloading SYSTEM Registry Hive...", result.out.find("Installing")),
            result.out.find("Controller "));
  EXPECT_LT(result.out.find("Controller "), result.out.find("Operation completed successfully!"));
}

// The window: after its success box, one information box names the controller left without
// a boot driver and the two ways out.
TEST_F(BoardConsole, TheWindowAdvisesAfterItsSuccessBox) {
  const ScopedEnv registry("RAVLIN_REGISTRY", (temp_ / "registry").string());
  const ScopedEnv drives("RAVLIN_DRIVES", "C=" + drive_.string());
  const ScopedEnv windir("windir", std::nullopt);
  PlatformOptions options;
  options.drives = "C=" + drive_.string();
  options.registryStore = temp_ / "registry";
  options.programFolder = program_;
  options.sysfsRoot = sysfs_;
  const auto ui = std::make_shared<ScriptedUi>();
  Form1 form(MakePlatform(ui, options), *ui);
  form.Load();
  ui->folderChoices.push_back(windows_);
  form.Browse_Click();

  ASSERT_EQ(ui->boxes.size(), 2u) << (ui->boxes.empty() ? "" : ui->boxes[0].text);
  EXPECT_EQ(ui->boxes[0].text, "Operation completed successfully!  Click OK to exit.");
  EXPECT_EQ(ui->boxes[1].style, mb::kInformation);
  EXPECT_NE(ui->boxes[1].text.find(kBoardLines[1]), std::string::npos) << ui->boxes[1].text;
  EXPECT_EQ(ui->boxes[1].text.find("DEV_7111"), std::string::npos) << ui->boxes[1].text;
  EXPECT_NE(ui->boxes[1].text.find("SATA mode"), std::string::npos);
  EXPECT_TRUE(ui->unloaded);

  // A board whose every controller has a boot driver gets no such box.
  std::filesystem::remove_all(sysfs_);
  AddSysfsDevice(sysfs_, {"0000:00:01.1", {0x8086, 0x7111, 0x1af4, 0x1100, 0x01, 0x010180}});
  const auto quiet = std::make_shared<ScriptedUi>();
  Form1 again(MakePlatform(quiet, options), *quiet);
  again.Load();
  quiet->folderChoices.push_back(windows_);
  again.Browse_Click();
  ASSERT_EQ(quiet->boxes.size(), 1u);
  EXPECT_EQ(quiet->boxes[0].text, "Operation completed successfully!  Click OK to exit.");
}

TEST_F(BoardConsole, AMachineWithoutStorageOnPciSaysSoInOneLine) {
  environment_["RAVLIN_SYSFS"] = (temp_ / "no sysfs").string();
  const ProgramResult unreadable = Repair();
  ASSERT_EQ(unreadable.exitCode, 0) << unreadable.out << unreadable.err;
  EXPECT_TRUE(ControllerLines(unreadable.out).empty());
  EXPECT_NE(unreadable.out.find("The storage controllers of this computer could not be read: "),
            std::string::npos)
      << unreadable.out;

  std::filesystem::remove_all(sysfs_);
  AddSysfsDevice(sysfs_, {"0000:00:02.0", {0x1234, 0x1111, 0, 0, 0, 0x030000}});
  environment_["RAVLIN_SYSFS"] = sysfs_.string();
  const ProgramResult none = Repair({"--dry-run"});
  EXPECT_NE(none.out.find("This computer has no storage controller on PCI."), std::string::npos)
      << none.out;
}

}  // namespace
}  // namespace ravlin

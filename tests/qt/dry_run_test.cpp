#include <QAction>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/qt/window_fixture.hpp"
#include "tests/support/driver_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::CancelDialog;
using testing::ChooseFolder;
using testing::ClickButton;
using testing::QtWindowTest;

TEST_F(QtWindowTest, TheDryRunMenuItemIsOffAtFirstAndWhenCheckedChangesNothing) {
  QAction& dryRun = program->FrontEnd().DryRunAction();
  EXPECT_TRUE(dryRun.isCheckable());
  EXPECT_FALSE(dryRun.isChecked());
  EXPECT_TRUE(window().actions().contains(&dryRun));

  testing::ProgramRun sample;
  sample.arguments = {testing::BinPath("ravlin-sample").string(), (drive / "guest").string()};
  ASSERT_EQ(testing::RunProgram(sample).exitCode, 0);
  const auto hive = drive / "guest" / "WINDOWS" / "system32" / "config" / "system";
  const std::string untouched = testing::ReadFile(hive);

  dryRun.trigger();
  EXPECT_TRUE(dryRun.isChecked());
  user.Then(ChooseFolder((drive / "guest" / "WINDOWS").string()));
  // The report is hundreds of lines: a resizable dialog whose text scrolls and can be copied.
  bool scrollsAndResizes = false;
  user.Then([&](QWidget& dialog) {
    const auto* view = dialog.findChild<QPlainTextEdit*>();
    scrollsAndResizes = view != nullptr && view->isReadOnly() &&
                        (view->textInteractionFlags() & Qt::TextSelectableByKeyboard) != 0 &&
                        view->verticalScrollBar()->maximum() > 0 &&
                        dialog.minimumSize() != dialog.maximumSize();
    ClickButton(QMessageBox::Ok)(dialog);
  });
  PressBrowse();

  ASSERT_EQ(user.met.size(), 2u);
  EXPECT_EQ(user.met[1].kind, "report");
  EXPECT_TRUE(scrollsAndResizes);
  EXPECT_EQ(user.met[1].title, "Ravlin - dry run");
  EXPECT_NE(user.met[1].text.find("Control set 1 (tarvel001.reg):"), std::string::npos)
      << user.met[1].text;
  EXPECT_EQ(testing::ReadFile(hive), untouched);
  EXPECT_FALSE(std::filesystem::exists(drive / "guest" / "WINDOWS" / "ravlin.log"));
  EXPECT_FALSE(program->FrontEnd().Ended()) << "the window stays for a real repair";
}

TEST_F(QtWindowTest, TheCommandLinesDryRunAndDriverSourceHoldUntilTheUserChangesThem) {
  testing::ProgramRun sample;
  sample.arguments = {testing::BinPath("ravlin-sample").string(), (drive / "guest").string()};
  for (const auto& driver : testing::kIdeDrivers)
    sample.arguments.insert(sample.arguments.end(), {"--without", driver});
  ASSERT_EQ(testing::RunProgram(sample).exitCode, 0);
  const auto hive = drive / "guest" / "WINDOWS" / "system32" / "config" / "system";
  const std::string untouched = testing::ReadFile(hive);
  const auto cd = drive / "cdrom" / "I386";
  for (const auto& driver : testing::kIdeDrivers)
    testing::WriteFile(cd / driver, testing::DriverImage("cd " + driver));

  RepairOptions repair;
  repair.dryRun = true;
  repair.driversFrom = cd;
  Restart(repair);
  QAction& dryRun = program->FrontEnd().DryRunAction();
  EXPECT_TRUE(dryRun.isChecked());
  EXPECT_EQ(window().windowTitle().toStdString(),
            program->Form().Caption() + "  [dry run: nothing will be changed]");

  // Two presses with the item untouched: both are dry runs that take the CD's drivers.
  for (int press = 0; press < 2; ++press) {
    user.met.clear();
    user.Then(ChooseFolder((drive / "guest" / "WINDOWS").string()));
    user.Then(ClickButton(QMessageBox::Ok));
    PressBrowse();
    ASSERT_EQ(user.met.size(), 2u) << press;
    EXPECT_EQ(user.met[1].title, "Ravlin - dry run");
    for (const auto& driver : testing::kIdeDrivers)
      EXPECT_NE(user.met[1].text.find(driver + ": would be copied from G:\\cdrom\\I386\\"),
                std::string::npos)
          << user.met[1].text;
    EXPECT_EQ(testing::ReadFile(hive), untouched);
    EXPECT_TRUE(dryRun.isChecked());
  }

  // The user's own choice is the only other thing that changes it.
  dryRun.trigger();
  EXPECT_FALSE(program->Form().DryRunSet());
  EXPECT_EQ(window().windowTitle().toStdString(), program->Form().Caption());
}

TEST_F(QtWindowTest, TheDriverItemGivesTheNextAttemptsAVendorsDriverFolder) {
  QAction& addDriver = program->FrontEnd().AddDriverAction();
  EXPECT_TRUE(window().actions().contains(&addDriver));
  EXPECT_EQ(program->Form().DriverFolder(), "");

  std::filesystem::create_directories(drive / "vendor");
  user.Then(CancelDialog());
  addDriver.trigger();
  EXPECT_EQ(program->Form().DriverFolder(), "") << "a cancelled dialog changes nothing";

  user.Then(ChooseFolder((drive / "vendor").string()));
  addDriver.trigger();
  ASSERT_EQ(user.met.size(), 2u);
  EXPECT_EQ(user.met[1].kind, "folder");
  EXPECT_EQ(program->Form().DriverFolder(), "G:\\vendor");
}

}  // namespace
}  // namespace ravlin

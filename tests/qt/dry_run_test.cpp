#include <QAction>
#include <QMessageBox>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/qt/window_fixture.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

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

  dryRun.setChecked(true);
  user.Then(ChooseFolder((drive / "guest" / "WINDOWS").string()));
  user.Then(ClickButton(QMessageBox::Ok));
  PressBrowse();

  ASSERT_EQ(user.met.size(), 2u);
  EXPECT_EQ(user.met[1].title, "Ravlin - dry run");
  EXPECT_NE(user.met[1].text.find("Control set 1 (tarvel001.reg):"), std::string::npos)
      << user.met[1].text;
  EXPECT_EQ(testing::ReadFile(hive), untouched);
  EXPECT_FALSE(std::filesystem::exists(drive / "guest" / "WINDOWS" / "ravlin.log"));
  EXPECT_FALSE(program->FrontEnd().Ended()) << "the window stays for a real repair";
}

}  // namespace
}  // namespace ravlin

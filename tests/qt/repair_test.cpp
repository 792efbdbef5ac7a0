#include <QMessageBox>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/qt/window_fixture.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/run_program.hpp"

namespace ravlin {
namespace {

using testing::ChooseFolder;
using testing::ClickButton;
using testing::QtWindowTest;

TEST_F(QtWindowTest, SampleGuestIsRepairedAndTheWindowEndsAfterTheSuccessMessage) {
  testing::ProgramRun sample;
  sample.arguments = {testing::BinPath("ravlin-sample").string(), (drive / "guest").string()};
  const auto made = testing::RunProgram(sample);
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const auto windows = drive / "guest" / "WINDOWS";
  const auto hive = windows / "system32" / "config" / "system";
  const std::string ideChannel = "\\Control\\CriticalDeviceDatabase\\primary_ide_channel]";
  ASSERT_EQ(testing::ExportHive(hive).find(ideChannel), std::string::npos);

  std::string statusAtSuccess;
  std::string guestAtSuccess;
  user.Then(ChooseFolder(windows.string()));
  user.Then([&](QWidget& box) {
    statusAtSuccess = Shows(ControlId::Label3);
    guestAtSuccess = Shows(ControlId::Text1);
    ClickButton(QMessageBox::Ok)(box);
  });

  PressBrowse();

  ASSERT_EQ(user.met.size(), 2u) << "only the dialog and the success message";
  EXPECT_EQ(user.met[1].text, "Operation completed successfully!  Click OK to exit.");
  EXPECT_EQ(user.met[1].title, "Ravlin");
  EXPECT_EQ(user.met[1].icon, QMessageBox::Information);
  EXPECT_EQ(statusAtSuccess, "Idle");
  EXPECT_EQ(guestAtSuccess, "G:\\guest\\WINDOWS");
  // The form unloaded itself: the window is gone and the program would end.
  EXPECT_TRUE(program->FrontEnd().Ended());
  EXPECT_FALSE(program->FrontEnd().ClosedByUser());
  EXPECT_FALSE(window().isVisible());

  const std::string repaired = testing::ExportHive(hive);
  for (const std::string controlSet : {"ControlSet001", "ControlSet002"})
    EXPECT_NE(repaired.find(controlSet + ideChannel), std::string::npos) << controlSet;
}

}  // namespace
}  // namespace ravlin

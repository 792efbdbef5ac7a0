#include "system/modLoadReg.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "tests/support/commanded_token.hpp"
#include "tests/support/scripted_ui.hpp"

namespace ravlin {
namespace {

using testing::ScriptedUi;

using testing::CommandedToken;
using testing::kBackupLow;
using testing::kProcessHandle;
using testing::kRestoreLow;
using testing::kTokenHandle;

struct Fixture {
  std::shared_ptr<ScriptedUi> ui = std::make_shared<ScriptedUi>();
  std::shared_ptr<CommandedToken> token = std::make_shared<CommandedToken>();

  Platform MakePlatform() const {
    Platform platform;
    platform.ui = ui;
    platform.token = token;
    return platform;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui->boxes) texts.push_back(box.text);
    return texts;
  }
};

TEST(ModLoadReg, EnablesBothPrivilegesRestoreFirstAndDisablesAllWithTheSameToken) {
  Fixture f;
  modLoadReg privileges(f.MakePlatform(), "Ravlin");
  privileges.EnablePrivileges();
  privileges.DisablePrivileges();

  EXPECT_TRUE(f.ui->boxes.empty());
  EXPECT_EQ(f.token->openedWithAccess, 0x28u);
  ASSERT_EQ(f.token->adjustments.size(), 2u);
  const auto& enable = f.token->adjustments[0];
  EXPECT_EQ(enable.token, kTokenHandle);
  EXPECT_FALSE(enable.disableAll);
  EXPECT_EQ(enable.length, 28u);
  EXPECT_EQ(enable.state.privilegeCount, 2u);
  EXPECT_EQ(enable.state.privileges[0].luid.lowPart, kRestoreLow);
  EXPECT_EQ(enable.state.privileges[0].attributes, kSePrivilegeEnabled);
  EXPECT_EQ(enable.state.privileges[1].luid.lowPart, kBackupLow);
  EXPECT_EQ(enable.state.privileges[1].attributes, kSePrivilegeEnabled);
  const auto& disable = f.token->adjustments[1];
  EXPECT_EQ(disable.token, kTokenHandle);
  EXPECT_TRUE(disable.disableAll);
  EXPECT_EQ(disable.length, 28u);
}

TEST(ModLoadReg, TokenThatCannotBeOpenedGivesTwoBoxesAtStartAndOneAtShutDown) {
  Fixture f;
  f.token->openError = 5;
  modLoadReg privileges(f.MakePlatform(), "Ravlin");
  privileges.EnablePrivileges();
  EXPECT_EQ(f.BoxTexts(), (std::vector<std::string>{"OpenProcess: 5", "AdjustTokenPrivileges: 6"}));
  privileges.DisablePrivileges();
  EXPECT_EQ(f.BoxTexts(), (std::vector<std::string>{"OpenProcess: 5", "AdjustTokenPrivileges: 6",
                                                    "AdjustTokenPrivileges: 6"}));
  for (const auto& box : f.ui->boxes) {
    EXPECT_EQ(box.style, 0);
    EXPECT_EQ(box.title, "Ravlin");
  }
  // The adjustments went to the null token, the only handle there was.
  for (const auto& adjustment : f.token->adjustments) EXPECT_EQ(adjustment.token, 0u);
}

TEST(ModLoadReg, FailedLookUpIsReportedAndTheAdjustmentStillRunsWithAZeroIdentifier) {
  Fixture f;
  f.token->restoreLookupError = 1313;
  modLoadReg privileges(f.MakePlatform(), "Ravlin");
  privileges.EnablePrivileges();

  EXPECT_EQ(f.BoxTexts(), (std::vector<std::string>{"LookupPrivileges: 1313"}));
  ASSERT_EQ(f.token->adjustments.size(), 1u);
  const auto& state = f.token->adjustments[0].state;
  EXPECT_EQ(state.privilegeCount, 2u);
  EXPECT_EQ(state.privileges[0].luid.lowPart, 0u);
  EXPECT_EQ(state.privileges[1].luid.lowPart, kBackupLow);

  Fixture both;
  both.token->restoreLookupError = 1313;
  both.token->backupLookupError = 1700;
  modLoadReg second(both.MakePlatform(), "Ravlin");
  second.EnablePrivileges();
  EXPECT_EQ(both.BoxTexts(),
            (std::vector<std::string>{"LookupPrivileges: 1313", "LookupPrivileges: 1700"}));
}

TEST(ModLoadReg, FailedAdjustmentsShowTheirOwnNumbers) {
  Fixture f;
  f.token->enableError = 1300;
  f.token->disableError = 87;
  modLoadReg privileges(f.MakePlatform(), "Ravlin");
  privileges.EnablePrivileges();
  privileges.DisablePrivileges();
  EXPECT_EQ(f.BoxTexts(),
            (std::vector<std::string>{"AdjustTokenPrivileges: 1300", "AdjustTokenPrivileges: 87"}));
}

TEST(ModLoadReg, WindowShowsTheFailuresOverItselfAndStaysUsable) {
  Fixture f;
  f.token->openError = 1346;
  {
    Form1 form(f.MakePlatform(), *f.ui);
    form.Load();
    EXPECT_TRUE(form.Loaded());
    EXPECT_EQ(form.Text(ControlId::Text1), "<Select a valid Windows directory>");
    EXPECT_EQ(form.Text(ControlId::Label3), "Idle");
    EXPECT_TRUE(form.RequestClose());
  }
  // Visible first, the prompt set, then the two start-up boxes; at close one box, then the
  // window is gone.
  const std::vector<std::string> expected{
      "Shown",
      "Caption: Ravlin  v1.0 for Windows XP  -  " + std::string(kMakerWebAddress),
      "Text1: <Select a valid Windows directory>",
      "Box: OpenProcess: 1346",
      "Box: AdjustTokenPrivileges: 6",
      "Box: AdjustTokenPrivileges: 6",
      "Unloaded"};
  EXPECT_EQ(f.ui->events, expected);
  for (const auto& box : f.ui->boxes) {
    EXPECT_EQ(box.style, 0);
    EXPECT_EQ(box.title, "Ravlin");
  }
}

}  // namespace
}  // namespace ravlin

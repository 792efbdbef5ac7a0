#include "system/modLoadReg.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "tests/support/scripted_ui.hpp"

namespace ravlin {
namespace {

using testing::ScriptedUi;

constexpr Handle kProcessHandle = 0x1234;
constexpr Handle kTokenHandle = 0x88;
constexpr std::uint32_t kRestoreLow = 18;
constexpr std::uint32_t kBackupLow = 17;

// A process token whose calls fail on command, each with the error number it is given. It
// refuses a token handle that it did not hand out with 6 (invalid handle), as Windows does.
class CommandedToken : public Token {
 public:
  std::uint32_t openError = 0;
  std::uint32_t restoreLookupError = 0;
  std::uint32_t backupLookupError = 0;
  std::uint32_t enableError = 0;
  std::uint32_t disableError = 0;

  struct Adjustment {
    Handle token;
    bool disableAll;
    TokenPrivileges state;
    std::uint32_t length;
  };
  std::vector<Adjustment> adjustments;
  std::uint32_t openedWithAccess = 0;

  Handle GetCurrentProcess() override { return kProcessHandle; }

  bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) override {
    openedWithAccess = desiredAccess;
    if (openError != 0 || process != kProcessHandle) return Fail(openError);
    token = kTokenHandle;
    return true;
  }

  bool LookupPrivilegeValueA(const std::string& systemName, const std::string& name,
                             Luid& luid) override {
    if (!systemName.empty()) return Fail(1722);
    if (name == "SeRestorePrivilege") {
      if (restoreLookupError != 0) return Fail(restoreLookupError);
      luid = {kRestoreLow, 0};
      return true;
    }
    if (name == "SeBackupPrivilege") {
      if (backupLookupError != 0) return Fail(backupLookupError);
      luid = {kBackupLow, 0};
      return true;
    }
    return Fail(1313);
  }

  bool AdjustTokenPrivileges(Handle token, bool disableAll, const TokenPrivileges& newState,
                             std::uint32_t length) override {
    adjustments.push_back({token, disableAll, newState, length});
    if (token != kTokenHandle) return Fail(6);
    const std::uint32_t error = disableAll ? disableError : enableError;
    if (error != 0) return Fail(error);
    return true;
  }

  std::uint32_t GetLastError() override { return lastError_; }

 private:
  bool Fail(std::uint32_t error) {
    lastError_ = error;
    return false;
  }
  std::uint32_t lastError_ = 0;
};

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

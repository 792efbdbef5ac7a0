#include <QFileDialog>
#include <QMessageBox>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/qt/qt_window.hpp"
#include "tests/qt/dialog_user.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using testing::CancelDialog;
using testing::ChooseFolder;
using testing::ClickButton;
using testing::CloseWithCloseButton;
using testing::DialogUser;
using testing::PressEscape;
using testing::TempDir;

class QtDialogsTest : public ::testing::Test {
 protected:
  QtFrontEnd frontEnd;
  DialogUser user;
};

TEST_F(QtDialogsTest, BoxShowsTitleTextLinesAndTheStyleIcon) {
  struct Case {
    int style;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {{mb::kOkOnly, QMessageBox::NoIcon},
                        {mb::kCritical, QMessageBox::Critical},
                        {mb::kQuestion, QMessageBox::Question},
                        {mb::kExclamation, QMessageBox::Warning},
                        {mb::kInformation, QMessageBox::Information}};
  for (const Case& each : cases) {
    user.Then(ClickButton(QMessageBox::Ok));
    // The program's texts are Windows-1252: 0xE9 is an e with an acute accent.
    EXPECT_EQ(frontEnd.MessageBox("Cannot find SYSTEM hive:\r\nC:\\Caf\xe9\\system32", each.style,
                                  "Ravlin"),
              mb::kIdOk);
    ASSERT_FALSE(user.met.empty());
    const auto& box = user.met.back();
    EXPECT_EQ(box.kind, "box");
    EXPECT_EQ(box.title, "Ravlin");
    EXPECT_EQ(box.text, "Cannot find SYSTEM hive:\nC:\\Caf\u00e9\\system32");
    EXPECT_EQ(box.icon, each.icon) << "style " << each.style;
    EXPECT_EQ(box.buttons, std::vector<int>{QMessageBox::Ok});
  }
}

TEST_F(QtDialogsTest, BoxHasTheButtonsOfItsStyleAndAnswersWithTheirCodes) {
  user.Then(ClickButton(QMessageBox::Cancel));
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kOkCancel + mb::kInformation, "Ravlin"), mb::kIdCancel);
  user.Then(ClickButton(QMessageBox::Ok));
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kOkCancel, "Ravlin"), mb::kIdOk);
  user.Then(ClickButton(QMessageBox::Yes));
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kYesNo + mb::kQuestion, "Replace File?"), mb::kIdYes);
  user.Then(ClickButton(QMessageBox::No));
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kYesNo, "Replace File?"), mb::kIdNo);

  ASSERT_EQ(user.met.size(), 4u);
  EXPECT_EQ(user.met[0].buttons, (std::vector<int>{QMessageBox::Ok, QMessageBox::Cancel}));
  EXPECT_EQ(user.met[2].buttons, (std::vector<int>{QMessageBox::Yes, QMessageBox::No}));
  EXPECT_EQ(user.met[2].title, "Replace File?");
}

TEST_F(QtDialogsTest, EscapeAndCloseButtonAnswerCancelOrTheOnlyButton) {
  user.Then(PressEscape());
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kOkCancel, "Ravlin"), mb::kIdCancel);
  user.Then(CloseWithCloseButton());
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kOkCancel + mb::kInformation, "Ravlin"), mb::kIdCancel);
  user.Then(PressEscape());
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kOkOnly, "Ravlin"), mb::kIdOk);
  user.Then(CloseWithCloseButton());
  EXPECT_EQ(frontEnd.MessageBox("q", mb::kInformation, "Ravlin"), mb::kIdOk);
  EXPECT_TRUE(user.AllActionsUsed());
}

TEST_F(QtDialogsTest, YesNoBoxIgnoresEscapeAndCloseButtonUntilAButtonIsChosen) {
  bool stayedOpen = false;
  user.Then([&](QWidget& box) {
    PressEscape()(box);
    CloseWithCloseButton()(box);
    stayedOpen = box.isVisible();
    ClickButton(QMessageBox::No)(box);
  });
  EXPECT_EQ(frontEnd.MessageBox("Replace?", mb::kYesNo + mb::kQuestion, "Replace File?"),
            mb::kIdNo);
  EXPECT_TRUE(stayedOpen);
}

TEST_F(QtDialogsTest, FolderDialogShowsThePromptAndReturnsTheChosenDirectory) {
  TempDir folder;
  std::filesystem::create_directory(folder / "Guest WINDOWS");
  bool directoriesOnly = false;
  user.Then([&](QWidget& dialog) {
    const QFileDialog* chooser = testing::AsFolderDialog(dialog);
    directoriesOnly = chooser->fileMode() == QFileDialog::Directory &&
                      chooser->testOption(QFileDialog::ShowDirsOnly);
    ChooseFolder((folder / "Guest WINDOWS").string())(dialog);
  });

  const auto chosen = frontEnd.BrowseForFolder(0, "Choose a Windows Directory");

  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, folder / "Guest WINDOWS");
  ASSERT_EQ(user.met.size(), 1u);
  EXPECT_EQ(user.met[0].kind, "folder");
  EXPECT_EQ(user.met[0].title, "Choose a Windows Directory");
  EXPECT_TRUE(directoriesOnly);
}

TEST_F(QtDialogsTest, FolderDialogRefusesADirectoryThatDoesNotExist) {
  TempDir folder;
  bool stillOpen = false;
  user.Then([&](QWidget& dialog) {
    ChooseFolder((folder / "missing").string())(dialog);
    stillOpen = dialog.isVisible();
    CancelDialog()(dialog);
  });
  // The dialog's own warning, met while the choice is refused.
  user.Then(ClickButton(QMessageBox::Ok));

  EXPECT_FALSE(frontEnd.BrowseForFolder(0, "Choose a Windows Directory").has_value());
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(user.AllActionsUsed());
}

TEST_F(QtDialogsTest, CancelledOrClosedFolderDialogReturnsNothing) {
  user.Then(CancelDialog());
  EXPECT_FALSE(frontEnd.BrowseForFolder(0, "Choose a Windows Directory").has_value());
  user.Then(PressEscape());
  EXPECT_FALSE(frontEnd.BrowseForFolder(0, "Choose a Windows Directory").has_value());
  EXPECT_TRUE(user.AllActionsUsed());
}

}  // namespace
}  // namespace ravlin

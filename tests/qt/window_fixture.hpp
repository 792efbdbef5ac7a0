#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/qt/qt_window.hpp"
#include "tests/qt/dialog_user.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

inline const std::string kPrompt = "<Select a valid Windows directory>";

// The window program started on a drive G: of its own and a registry store of its own, with
// a user in front of it.
class QtWindowTest : public ::testing::Test {
 protected:
  QtWindowTest() {
    options.programFolder = std::filesystem::path(RAVLIN_BIN_DIR);
    program = std::make_unique<QtProgram>(options);
    program->Start();
  }

  ~QtWindowTest() override {
    if (!program->FrontEnd().Ended()) window().close();
  }

  // The program started again, with these command-line options for its attempts.
  void Restart(const RepairOptions& repair) {
    if (!program->FrontEnd().Ended()) window().close();
    program = std::make_unique<QtProgram>(options, repair);
    program->Start();
  }

  QWidget& window() { return program->FrontEnd().Window(); }
  QWidget& control(ControlId id) { return program->FrontEnd().Control(id); }
  std::string Shows(ControlId id) {
    QWidget& widget = control(id);
    if (auto* label = qobject_cast<QLabel*>(&widget)) return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) return edit->text().toStdString();
    return qobject_cast<QPushButton*>(&widget)->text().toStdString();
  }
  void PressBrowse() { qobject_cast<QPushButton*>(&control(ControlId::Browse))->click(); }
  void ExpectIdle() {
    EXPECT_EQ(Shows(ControlId::Text1), kPrompt);
    EXPECT_EQ(Shows(ControlId::Label3), "Idle");
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(program->FrontEnd().Ended());
  }

  TempDir drive;
  TempDir registry;
  // The registry editor that a repair starts finds the same store and drives here.
  ScopedEnv registryVariable{"RAVLIN_REGISTRY", registry.path().string()};
  ScopedEnv drivesVariable{"RAVLIN_DRIVES", "G=" + drive.path().string()};
  ScopedEnv windir{"windir", std::nullopt};
  // A computer without storage controllers, so that no box about them follows a repair.
  TempDir sysfs;
  ScopedEnv sysfsVariable{"RAVLIN_SYSFS", sysfs.path().string()};
  PlatformOptions options = PlatformOptions::FromEnvironment();
  DialogUser user;
  std::unique_ptr<QtProgram> program;
};

}  // namespace ravlin::testing

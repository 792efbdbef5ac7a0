#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/handles.hpp"

namespace ravlin {

// Message box styles and answers.
namespace mb {
inline constexpr int kOkOnly = 0;
inline constexpr int kOkCancel = 1;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kButtonMask = 0x0F;
inline constexpr int kIconMask = 0xF0;
// The second button is the default: a warning whose safe answer is No.
inline constexpr int kDefaultButton2 = 0x100;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
}  // namespace mb

// The user-interface services that the active front end provides: modal message boxes, the
// folder dialog and the message pump.
class Ui {
 public:
  virtual ~Ui() = default;

  // A modal box; returns the answer (1 OK, 2 Cancel, 6 Yes, 7 No). Lines are separated by
  // CR LF in `text`.
  virtual int MessageBox(const std::string& text, int style, const std::string& title) = 0;
  // The modal folder dialog: the chosen folder as the machine names it (a POSIX path on
  // Linux), or nothing when the user cancelled. `owner` is the owning window or 0.
  virtual std::optional<std::filesystem::path> BrowseForFolder(Handle owner,
                                                               const std::string& prompt) = 0;
  // Lets pending window messages run (repaints, button presses, close requests).
  virtual void DoEvents() = 0;
  // A long report (the dry run's, hundreds of lines) that the user reads, scrolls and copies
  // before going on. Lines are separated by CR LF. A front end without a better place shows it
  // as an information box.
  virtual void ShowReport(const std::string& text, const std::string& title) {
    MessageBox(text, mb::kInformation, title);
  }
};

}  // namespace ravlin

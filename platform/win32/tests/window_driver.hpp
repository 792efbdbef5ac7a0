#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ravlin::window_driver {

using namespace std::chrono_literals;

// How long the driver waits for a window or a text before it gives up: generous, since a
// program under Wine can take seconds to come up on a loaded machine.
inline constexpr std::chrono::milliseconds kPatience = 30s;

// Another program, started for the test and ended with it: what it left running is
// terminated when the test is over.
class DrivenProcess {
 public:
  // `commandLine` is the whole command line, the program's quoted path first.
  DrivenProcess(const std::wstring& commandLine, const std::filesystem::path& workingFolder);
  DrivenProcess(const DrivenProcess&) = delete;
  DrivenProcess& operator=(const DrivenProcess&) = delete;
  ~DrivenProcess();

  DWORD Id() const { return information_.dwProcessId; }
  // The exit code once the process has ended within `patience`, else nothing.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds patience = kPatience);

 private:
  PROCESS_INFORMATION information_{};
};

// The visible and hidden top-level windows of a process whose class is `className`.
std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className);
// The child windows of `parent`, at any depth, in the order the system lists them.
std::vector<HWND> Children(HWND parent);
std::wstring ClassOf(HWND window);
// The window's text as WM_GETTEXT gives it, asked with a time-out so that a hung program
// fails the test instead of hanging it; nothing when the window did not answer.
std::optional<std::wstring> TextOf(HWND window);
// The texts of the child windows of class `className`, in order.
std::vector<std::wstring> ChildTexts(HWND parent, const std::wstring& className);
// The first child of `parent` whose class is `className` and whose text is `text`, or null.
HWND ChildWithText(HWND parent, const std::wstring& className, const std::wstring& text);
// A message box's text (its label that is no icon), with the lines as the program gave them.
std::wstring MessageBoxText(HWND box);
// The icon a message box shows, or null; a handle of the process that shows the box.
HICON MessageBoxIcon(HWND box);
// The text of the button that Enter presses: the one drawn as the default.
std::wstring DefaultButtonText(HWND dialog);
// Presses a button as a click would, without waiting for what the click starts.
void Press(HWND button);
// Sends `message` and waits until the window has handled it; false when it did not answer in
// time (a click that opened a modal dialog is still inside it).
bool SendAndWait(HWND window, UINT message);

// Polls `condition` until it holds or `patience` has passed; whether it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds patience = kPatience);
// The process's first visible top-level window of class `className` that `accept` takes,
// waited for.
HWND WaitForWindow(DWORD processId, const std::wstring& className,
                   const std::function<bool(HWND)>& accept = {},
                   std::chrono::milliseconds patience = kPatience);

// The process's first dialog or message box (class #32770) that `accept` takes, waited for
// until it has set up its texts: Wine shows a box before it has its title and button texts.
HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& accept = {},
                   std::chrono::milliseconds patience = kPatience);

// Selects `folder` in an open folder dialog (SHBrowseForFolder) of process `processId`: the
// path is written into that process, since the dialog reads it from there.
bool SelectFolder(HWND dialog, DWORD processId, const std::filesystem::path& folder);

// Writes what the screen shows of `window` (frame included) to `file` as a 24-bit BMP picture;
// whether it could.
bool SaveWindowPicture(HWND window, const std::filesystem::path& file);

}  // namespace ravlin::window_driver

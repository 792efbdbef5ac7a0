#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace ravlin {

// A modal message box: the style's buttons, icon and default button are the system's own
// (the program's style numbers are the system's), `text` keeps its CR LF line breaks. Returns
// the answer code of the button chosen (1 OK, 2 Cancel, 6 Yes, 7 No ...). Without an owner
// the box is modal for every window of the thread.
int ShowMessageBox(HWND owner, const std::string& text, int style, const std::string& title);

// The system's modal folder dialog (file-system folders only, the tree rooted at the
// desktop, `prompt` above the tree): the chosen folder, or nothing on cancel.
std::optional<std::filesystem::path> ShowFolderDialog(HWND owner, const std::string& prompt);

// The system's modal dialog that opens one existing file (comdlg32.dll, looked up at run
// time): the chosen file, or nothing on cancel or where the system has no such dialog.
std::optional<std::filesystem::path> ShowFileDialog(HWND owner, const std::string& prompt);

// A modal, resizable dialog that shows a long report in a read-only text box with scroll
// bars, from which the user can select and copy, and an OK button. `text` keeps its CR LF
// line breaks.
void ShowReportDialog(HWND owner, const std::string& text, const std::string& title);

}  // namespace ravlin

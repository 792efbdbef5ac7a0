#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

class QWidget;

namespace ravlin {

// The program's texts are in the ANSI code page; Qt speaks Unicode.
QString FromAnsi(std::string_view ansi);

// A modal message box with the buttons and icon of `style`; returns the answer code of the
// button chosen (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No). The close button
// and Escape answer Cancel where the box has one and the only button of a one-button box;
// other boxes wait for a button.
int ShowMessageBox(QWidget* parent, const std::string& text, int style, const std::string& title);

// A long report in a modal, resizable dialog: a read-only text the user can scroll, select and
// copy, and an OK button.
void ShowReportDialog(QWidget* parent, const std::string& text, const std::string& title);

// The modal folder dialog: only existing directories can be chosen; nothing on cancel.
std::optional<std::filesystem::path> ShowFolderDialog(QWidget* parent, const std::string& prompt);

// The modal dialog that chooses one existing file; nothing on cancel.
std::optional<std::filesystem::path> ShowFileDialog(QWidget* parent, const std::string& prompt);

// A modal list of `items` to choose one from: its index, or nothing on cancel.
std::optional<std::size_t> ShowChoiceDialog(QWidget* parent, const std::string& prompt,
                                            const std::vector<std::string>& items,
                                            const std::string& title);

}  // namespace ravlin

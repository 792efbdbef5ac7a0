#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QTimer>

class QWidget;
class QFileDialog;

namespace ravlin::testing {

// What a dialog showed when the user met it.
struct MetDialog {
  std::string kind;  // "box", "report", "folder" or "list"
  std::string title;
  std::string text;  // the box's or list's text (line feeds), the folder dialog's title
  std::vector<std::string> items;  // the list's items
  int icon = 0;                    // QMessageBox::Icon
  std::vector<int> buttons;        // QMessageBox::StandardButton, ascending
};

// A user in front of the screen: each modal dialog that opens (inside its own event loop,
// where the test cannot reach it otherwise) is met by the next queued action, which works
// the real dialog: clicks a button, presses Escape, closes it, picks a folder.
class DialogUser {
 public:
  using Action = std::function<void(QWidget& dialog)>;

  DialogUser();
  DialogUser(const DialogUser&) = delete;
  DialogUser& operator=(const DialogUser&) = delete;
  ~DialogUser();

  void Then(Action action) { actions_.push_back(std::move(action)); }

  // Every dialog met, in order; one that came with no action queued is rejected and
  // recorded with kind "unexpected ...".
  std::vector<MetDialog> met;
  bool AllActionsUsed() const { return actions_.empty(); }

 private:
  void Look();

  QTimer timer_;
  std::deque<Action> actions_;
};

// Actions.
DialogUser::Action ClickButton(QMessageBox::StandardButton button);
DialogUser::Action PressEscape();
DialogUser::Action CloseWithCloseButton();
DialogUser::Action ChooseFolder(const std::string& folder);
DialogUser::Action CancelDialog();
// Picks the list's item `index` and accepts the list.
DialogUser::Action ChooseItem(int index);

// A folder dialog or a message box as the user sees it.
QMessageBox* AsBox(QWidget& dialog);
QFileDialog* AsFolderDialog(QWidget& dialog);

}  // namespace ravlin::testing

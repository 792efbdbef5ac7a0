#include "tests/qt/dialog_user.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

namespace ravlin::testing {
namespace {

constexpr const char* kMetProperty = "metByDialogUser";

MetDialog Describe(QWidget& dialog) {
  MetDialog seen;
  seen.title = dialog.windowTitle().toStdString();
  if (QMessageBox* box = AsBox(dialog)) {
    seen.kind = "box";
    seen.text = box->text().toStdString();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons())
      seen.buttons.push_back(box->standardButton(button));
    std::sort(seen.buttons.begin(), seen.buttons.end());
  } else if (auto* report = dialog.findChild<QPlainTextEdit*>()) {
    seen.kind = "report";
    seen.text = report->toPlainText().toStdString();
  } else if (auto* list = qobject_cast<QInputDialog*>(&dialog)) {
    seen.kind = "list";
    seen.text = list->labelText().toStdString();
    for (const QString& item : list->comboBoxItems()) seen.items.push_back(item.toStdString());
  } else if (AsFolderDialog(dialog) != nullptr) {
    seen.kind = "folder";
    seen.text = seen.title;
  } else {
    seen.kind = "other";
  }
  return seen;
}

}  // namespace

QMessageBox* AsBox(QWidget& dialog) {
  return qobject_cast<QMessageBox*>(&dialog);
}
QFileDialog* AsFolderDialog(QWidget& dialog) {
  return qobject_cast<QFileDialog*>(&dialog);
}

DialogUser::DialogUser() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
  timer_.start(10);
}

DialogUser::~DialogUser() {
  timer_.stop();
}

void DialogUser::Look() {
  QWidget* dialog = QApplication::activeModalWidget();
  if (dialog == nullptr || !dialog->isVisible() || dialog->property(kMetProperty).toBool()) return;
  dialog->setProperty(kMetProperty, true);
  met.push_back(Describe(*dialog));
  if (actions_.empty()) {
    met.back().kind = "unexpected " + met.back().kind;
    if (auto* asDialog = qobject_cast<QDialog*>(dialog)) asDialog->reject();
    return;
  }
  // Run outside this timer's slot: an action may open a dialog of its own, and the timer
  // must keep looking meanwhile.
  QTimer::singleShot(0, dialog,
                     [dialog, action = std::move(actions_.front())] { action(*dialog); });
  actions_.pop_front();
}

DialogUser::Action ClickButton(QMessageBox::StandardButton button) {
  return [button](QWidget& dialog) {
    if (QMessageBox* box = AsBox(dialog)) {
      box->button(button)->click();
      return;
    }
    // A dialog of its own, such as the report: its button box has the same buttons.
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    buttons->button(static_cast<QDialogButtonBox::StandardButton>(button))->click();
  };
}

DialogUser::Action PressEscape() {
  return [](QWidget& dialog) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
  };
}

DialogUser::Action CloseWithCloseButton() {
  return [](QWidget& dialog) { dialog.close(); };
}

DialogUser::Action ChooseFolder(const std::string& folder) {
  return [folder](QWidget& dialog) {
    // Typed into the dialog's name field, as a user who knows the path would do.
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(QString::fromStdString(folder));
    // Through QDialog, as the dialog's own Choose button does: the dialog checks the choice.
    static_cast<QDialog*>(AsFolderDialog(dialog))->accept();
  };
}

DialogUser::Action ChooseItem(int index) {
  return [index](QWidget& dialog) {
    // Picked in the dialog's own list, as the user does.
    dialog.findChild<QComboBox*>()->setCurrentIndex(index);
    qobject_cast<QInputDialog*>(&dialog)->accept();
  };
}

DialogUser::Action CancelDialog() {
  return [](QWidget& dialog) { AsFolderDialog(dialog)->reject(); };
}

}  // namespace ravlin::testing

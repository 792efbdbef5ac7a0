#include "app/qt/qt_dialogs.hpp"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <vector>

#include "platform/codepage.hpp"
#include "platform/ui.hpp"

namespace ravlin {
namespace {

struct ButtonAnswer {
  QMessageBox::StandardButton button;
  int answer;
};

constexpr std::array<ButtonAnswer, 7> kButtonAnswers{{
    {QMessageBox::Ok, mb::kIdOk},
    {QMessageBox::Cancel, mb::kIdCancel},
    {QMessageBox::Abort, 3},
    {QMessageBox::Retry, 4},
    {QMessageBox::Ignore, 5},
    {QMessageBox::Yes, mb::kIdYes},
    {QMessageBox::No, mb::kIdNo},
}};

// The buttons of each button group of a style, in the order they stand in the box.
std::vector<QMessageBox::StandardButton> ButtonsOf(int style) {
  switch (style & mb::kButtonMask) {
    case mb::kOkCancel:
      return {QMessageBox::Ok, QMessageBox::Cancel};
    case 2:
      return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case 3:
      return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case mb::kYesNo:
      return {QMessageBox::Yes, QMessageBox::No};
    case 5:
      return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
      return {QMessageBox::Ok};
  }
}

QMessageBox::Icon IconOf(int style) {
  switch (style & mb::kIconMask) {
    case mb::kCritical:
      return QMessageBox::Critical;
    case mb::kQuestion:
      return QMessageBox::Question;
    case mb::kExclamation:
      return QMessageBox::Warning;
    case mb::kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int AnswerOf(QMessageBox::StandardButton button) {
  const auto found =
      std::find_if(kButtonAnswers.begin(), kButtonAnswers.end(),
                   [button](const ButtonAnswer& entry) { return entry.button == button; });
  return found != kButtonAnswers.end() ? found->answer : mb::kIdCancel;
}

// A box without a Cancel button and with more than one button (Yes/No, Abort/Retry/Ignore)
// has no answer for Escape or the close button, so it ignores both and waits for a button.
class ButtonOnlyMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

  void SetDismissable(bool dismissable) { dismissable_ = dismissable; }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (!dismissable_ && event->matches(QKeySequence::Cancel)) {
      event->accept();
      return;
    }
    QMessageBox::keyPressEvent(event);
  }

  void closeEvent(QCloseEvent* event) override {
    if (!dismissable_) {
      event->ignore();
      return;
    }
    QMessageBox::closeEvent(event);
  }

 private:
  bool dismissable_ = true;
};

QString WithLineFeeds(const std::string& text) {
  QString converted = FromAnsi(text);
  converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return converted;
}

}  // namespace

QString FromAnsi(std::string_view ansi) {
  return QString::fromStdString(AnsiToUtf8(ansi));
}

int ShowMessageBox(QWidget* parent, const std::string& text, int style, const std::string& title) {
  ButtonOnlyMessageBox box(parent);
  box.setWindowTitle(FromAnsi(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(WithLineFeeds(text));
  box.setIcon(IconOf(style));

  const auto buttons = ButtonsOf(style);
  for (const auto button : buttons) box.addButton(button);
  const bool secondIsDefault = (style & mb::kDefaultButton2) != 0 && buttons.size() > 1;
  box.setDefaultButton(secondIsDefault ? buttons[1] : buttons.front());
  const bool hasCancel =
      std::find(buttons.begin(), buttons.end(), QMessageBox::Cancel) != buttons.end();
  if (hasCancel)
    box.setEscapeButton(QMessageBox::Cancel);
  else if (buttons.size() == 1)
    box.setEscapeButton(buttons.front());
  box.SetDismissable(hasCancel || buttons.size() == 1);

  box.exec();
  if (QAbstractButton* clicked = box.clickedButton()) return AnswerOf(box.standardButton(clicked));
  return AnswerOf(hasCancel ? QMessageBox::Cancel : buttons.front());
}

void ShowReportDialog(QWidget* parent, const std::string& text, const std::string& title) {
  constexpr QSize kInitialSize(640, 480);
  QDialog dialog(parent);
  dialog.setWindowTitle(FromAnsi(title));
  dialog.setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(&dialog);
  auto* view = new QPlainTextEdit(WithLineFeeds(text), &dialog);
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Read-only still lets the keyboard select and copy.
  view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.resize(kInitialSize);
  dialog.exec();
}

namespace {

std::optional<std::filesystem::path> Chosen(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return std::filesystem::path(QFile::encodeName(chosen.first()).toStdString());
}

}  // namespace

std::optional<std::filesystem::path> ShowFolderDialog(QWidget* parent, const std::string& prompt) {
  QFileDialog dialog(parent, FromAnsi(prompt));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  return Chosen(dialog);
}

std::optional<std::filesystem::path> ShowFileDialog(QWidget* parent, const std::string& prompt) {
  QFileDialog dialog(parent, FromAnsi(prompt));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters(
      {QStringLiteral("Disk images (*.img *.raw *.qcow2 *.vmdk *.vhd *.vhdx *.vdi)"),
       QStringLiteral("All files (*)")});
  return Chosen(dialog);
}

std::optional<std::size_t> ShowChoiceDialog(QWidget* parent, const std::string& prompt,
                                            const std::vector<std::string>& items,
                                            const std::string& title) {
  QInputDialog dialog(parent);
  dialog.setWindowTitle(FromAnsi(title));
  dialog.setLabelText(FromAnsi(prompt));
  QStringList names;
  for (const auto& item : items) names.push_back(FromAnsi(item));
  dialog.setComboBoxItems(names);
  dialog.setComboBoxEditable(false);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const auto index = names.indexOf(dialog.textValue());
  if (index < 0) return std::nullopt;
  return static_cast<std::size_t>(index);
}

}  // namespace ravlin

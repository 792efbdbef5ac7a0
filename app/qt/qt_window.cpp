#include "app/qt/qt_window.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "app/qt/qt_dialogs.hpp"

namespace ravlin {
namespace {

// The design's font was 8 points; a smaller one is taken only where the local font would
// not fit the design's boxes.
constexpr double kDesignPointSize = 8.0;
constexpr double kSmallestPointSize = 6.0;
// Frame and padding that a text box or a button keeps around its text.
constexpr double kControlTextMargin = 8.0;

QRect ToQRect(const PixelRect& rect) {
  return {rect.left, rect.top, rect.Width(), rect.Height()};
}

QRect DesignQRect(const ControlDesign& design, double logicalDpi) {
  return ToQRect(DesignRect(design, logicalDpi));
}

// The text a control must show in full: the text box's longest is the prompt that loading
// writes into it.
QString WidestText(const ControlDesign& design) {
  return design.id == ControlId::Text1 ? FromAnsi(kPromptText) : FromAnsi(design.designText);
}

bool DesignTextsFit(const QFont& font, const QWidget& window, double logicalDpi) {
  const QFontMetricsF metrics(font, &window);
  return std::all_of(
      kControlDesigns.begin(), kControlDesigns.end(), [&](const ControlDesign& design) {
        const QRectF box = DesignQRect(design, logicalDpi);
        const QString text = WidestText(design);
        if (design.wordWrap) {
          const QRectF needed = metrics.boundingRect(QRectF(0, 0, box.width(), 100000),
                                                     Qt::TextWordWrap | Qt::AlignLeft, text);
          return needed.height() <= box.height();
        }
        const double margin = design.kind == ControlKind::Label ? 0.0 : kControlTextMargin;
        return metrics.horizontalAdvance(text) <= box.width() - margin &&
               metrics.height() <= box.height();
      });
}

QFont FittingFont(QFont font, const QWidget& window, double logicalDpi) {
  for (double points = kDesignPointSize; points >= kSmallestPointSize; points -= 0.5) {
    font.setPointSizeF(points);
    if (DesignTextsFit(font, window, logicalDpi)) return font;
  }
  return font;
}

void SetControlText(QWidget& control, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(&control))
    label->setText(text);
  else if (auto* edit = qobject_cast<QLineEdit*>(&control))
    edit->setText(text);
  else if (auto* button = qobject_cast<QPushButton*>(&control))
    button->setText(text);
}

std::size_t IndexOf(ControlId id) {
  return static_cast<std::size_t>(&DesignOf(id) - kControlDesigns.data());
}

}  // namespace

FormWindow::FormWindow(std::function<bool()> mayClose)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      mayClose_(std::move(mayClose)) {}

void FormWindow::closeEvent(QCloseEvent* event) {
  if (mayClose_())
    event->accept();
  else
    event->ignore();
}

QtFrontEnd::QtFrontEnd() : window_([this] { return presenter_.UserRequestsClose(); }) {
  CreateControls();
}

QtFrontEnd::~QtFrontEnd() = default;

void QtFrontEnd::CreateControls() {
  const double dpi = window_.logicalDpiX();
  window_.setWindowTitle(FromAnsi(kDesignCaption));
  window_.setFixedSize(ToQRect(ClientRect(dpi)).size());
  window_.setFont(FittingFont(window_.font(), window_, dpi));

  for (const ControlDesign& design : kControlDesigns) {
    QWidget* control = nullptr;
    switch (design.kind) {
      case ControlKind::CommandButton: {
        auto* button = new QPushButton(&window_);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button, [this] { Press(); });
        control = button;
        break;
      }
      case ControlKind::TextBox: {
        auto* edit = new QLineEdit(&window_);
        edit->setReadOnly(true);
        control = edit;
        break;
      }
      case ControlKind::Label: {
        auto* label = new QLabel(&window_);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(design.wordWrap);
        label->setTextFormat(Qt::PlainText);
        control = label;
        break;
      }
    }
    control->setObjectName(
        QString::fromLatin1(design.name.data(), static_cast<qsizetype>(design.name.size())));
    control->setGeometry(DesignQRect(design, dpi));
    SetControlText(*control, FromAnsi(design.designText));
    controls_[IndexOf(design.id)] = control;
  }

  // The dry run sits in the window's context menu, so that the designed layout stays as it is.
  dryRun_ = new QAction(FromAnsi(kDryRunItemText), &window_);
  dryRun_->setCheckable(true);
  // Only the user's own choice changes the option: `triggered` is not sent for setChecked.
  QObject::connect(dryRun_, &QAction::triggered, dryRun_,
                   [this](bool checked) { DryRunTriggered(checked); });
  window_.addAction(dryRun_);
  addDriver_ = new QAction(FromAnsi(kDriverItemText), &window_);
  QObject::connect(addDriver_, &QAction::triggered, addDriver_, [this] { ChooseDriverFolder(); });
  window_.addAction(addDriver_);
  openImage_ = new QAction(FromAnsi(kOpenImageItemText), &window_);
  QObject::connect(openImage_, &QAction::triggered, openImage_, [this] { OpenImage(); });
  window_.addAction(openImage_);
  window_.setContextMenuPolicy(Qt::ActionsContextMenu);

  // Labels take no focus, so the tab order is that of the other controls by tab index.
  QWidget* previous = nullptr;
  for (const ControlDesign& design : ControlsInTabOrder()) {
    if (design.kind == ControlKind::Label) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, &Control(design.id));
    previous = &Control(design.id);
  }
}

QWidget& QtFrontEnd::Control(ControlId control) const {
  return *controls_[IndexOf(control)];
}

void QtFrontEnd::Attach(Form1& form, const RepairOptions& options) {
  presenter_.Attach(form, options);
  for (const ControlDesign& design : kControlDesigns)
    SetControlText(Control(design.id), FromAnsi(form.Text(design.id)));
  ShowDryRunState();
}

void QtFrontEnd::ShowDryRunState() {
  dryRun_->setChecked(presenter_.DryRunChecked());
  window_.setWindowTitle(FromAnsi(presenter_.Title()));
}

void QtFrontEnd::DryRunTriggered(bool checked) {
  presenter_.UserSetsDryRun(checked);
  // A change refused while a press runs puts the item back as it was.
  ShowDryRunState();
}

void QtFrontEnd::ChooseDriverFolder() {
  if (const auto folder = ShowFolderDialog(DialogParent(), std::string(kDriverFolderPrompt)))
    presenter_.UserChoosesDriverFolder(*folder);
}

void QtFrontEnd::SetImageEngine(const Platform& platform, std::unique_ptr<DiskImages> images) {
  presenter_.SetImageEngine(platform, std::move(images));
}

void QtFrontEnd::SetMenuItemsEnabled(bool enabled) {
  dryRun_->setEnabled(enabled);
  addDriver_->setEnabled(enabled);
  openImage_->setEnabled(enabled);
}

void QtFrontEnd::Press() {
  // Fixed for the length of the press; the form itself refuses a second press that arrives
  // through the message pump.
  SetMenuItemsEnabled(false);
  presenter_.Press();
  SetMenuItemsEnabled(true);
}

void QtFrontEnd::OpenImage() {
  if (!presenter_.MenuItemsEnabled()) return;
  const auto image = ShowFileDialog(DialogParent(), std::string(kImageFilePrompt));
  if (!image) return;
  ImageWindowHooks hooks;
  // Each step's line shows in the status label at once; the event loop turns between the
  // steps, and the attempt itself turns it as a press does.
  hooks.status = [this](const std::string& line) {
    QWidget& status = Control(ControlId::Label3);
    SetControlText(status, FromAnsi(line));
    status.repaint();
    QCoreApplication::processEvents();
  };
  hooks.choose = [this](const std::vector<WindowsCandidate>& candidates) {
    std::vector<std::string> labels;
    for (const auto& candidate : candidates) labels.push_back(CandidateLabel(candidate));
    return ShowChoiceDialog(DialogParent(), std::string(kImageChoicePrompt), labels,
                            std::string(kApplicationTitle));
  };
  SetMenuItemsEnabled(false);
  const ImageOutcome outcome = presenter_.UserOpensImage(*image, hooks);
  SetMenuItemsEnabled(true);
  if (!presenter_.Ended() && presenter_.Attached())
    SetControlText(Control(ControlId::Label3), FromAnsi(presenter_.FormText(ControlId::Label3)));
  if (outcome.started && !outcome.completed && !outcome.failure.empty())
    ShowMessageBox(DialogParent(), outcome.failure, mb::kExclamation,
                   std::string(kApplicationTitle));
}

QWidget* QtFrontEnd::DialogParent() {
  return window_.isVisible() ? &window_ : nullptr;
}

int QtFrontEnd::MessageBox(const std::string& text, int style, const std::string& title) {
  return ShowMessageBox(DialogParent(), text, style, title);
}

std::optional<std::filesystem::path> QtFrontEnd::BrowseForFolder(Handle owner,
                                                                 const std::string& prompt) {
  if (const auto imageFolder = presenter_.ImageFolder()) return imageFolder;
  return ShowFolderDialog(owner != 0 ? DialogParent() : nullptr, prompt);
}

void QtFrontEnd::ShowReport(const std::string& text, const std::string& title) {
  ShowReportDialog(DialogParent(), text, title);
}

void QtFrontEnd::DoEvents() {
  QCoreApplication::processEvents();
}

void QtFrontEnd::Shown() {
  window_.show();
  // Tab index 0 has the focus when the window opens.
  Control(ControlsInTabOrder().front().id).setFocus();
}

void QtFrontEnd::CaptionChanged(const std::string&) {
  window_.setWindowTitle(FromAnsi(presenter_.Title()));
}

void QtFrontEnd::TextChanged(ControlId control, const std::string& text) {
  QWidget& widget = Control(control);
  SetControlText(widget, FromAnsi(text));
  // Painted now, not at the next turn of the event loop: the workflow may be waiting for a
  // process and the status must show meanwhile.
  widget.repaint();
}

void QtFrontEnd::Unloaded() {
  // The form unloads itself after a completed repair; the window goes with it.
  if (presenter_.FormUnloaded()) window_.close();
}

QtProgram::QtProgram(const PlatformOptions& options, const RepairOptions& repair)
    : frontEnd_(std::make_shared<QtFrontEnd>()),
      platform_(MakePlatform(frontEnd_, options)),
      form_(platform_, *frontEnd_) {
  frontEnd_->Attach(form_, repair);
  frontEnd_->SetImageEngine(platform_,
                            MakeDiskImages(options.registryStore.parent_path() / "images"));
}

}  // namespace ravlin

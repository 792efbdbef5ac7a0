#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QWidget>

#include "app/form1.hpp"
#include "app/repair_options.hpp"
#include "app/window_presenter.hpp"
#include "platform/backend.hpp"
#include "platform/ui.hpp"

class QAction;

namespace ravlin {

// The top-level window; it asks before it closes.
class FormWindow : public QWidget {
 public:
  explicit FormWindow(std::function<bool()> mayClose);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<bool()> mayClose_;
};

// The Qt face of Form1: renders its texts in a fixed window laid out from the design table,
// forwards the Browse press and the close request, and provides the modal dialogs and the
// message pump. It decides nothing about the repair.
class QtFrontEnd final : public Ui, public FormView {
 public:
  QtFrontEnd();
  QtFrontEnd(const QtFrontEnd&) = delete;
  QtFrontEnd& operator=(const QtFrontEnd&) = delete;
  ~QtFrontEnd() override;

  // The form whose state the window renders and to which it forwards the user's actions,
  // with the command line's options for its attempts.
  void Attach(Form1& form, const RepairOptions& options);
  // Called once, when the form has unloaded and the window has closed.
  void SetEndHandler(std::function<void()> handler) {
    presenter_.SetEndHandler(std::move(handler));
  }

  QWidget& Window() { return window_; }
  QWidget& Control(ControlId control) const;
  bool Ended() const { return presenter_.Ended(); }
  // True when the window closed because the user closed it (not after a completed repair).
  bool ClosedByUser() const { return presenter_.ClosedByUser(); }
  // The window's context-menu item that makes the next press a dry run (checked at first
  // when the program was started with --dry-run).
  QAction& DryRunAction() const { return *dryRun_; }
  // The item that chooses a vendor's mass-storage driver folder for the next attempts.
  QAction& AddDriverAction() const { return *addDriver_; }
  // The item that repairs a virtual machine's disk image in place.
  QAction& OpenImageAction() const { return *openImage_; }
  // What that item runs on.
  void SetImageEngine(const Platform& platform, std::unique_ptr<DiskImages> images);

  int MessageBox(const std::string& text, int style, const std::string& title) override;
  std::optional<std::filesystem::path> BrowseForFolder(Handle owner,
                                                       const std::string& prompt) override;
  void DoEvents() override;
  void ShowReport(const std::string& text, const std::string& title) override;

  void Shown() override;
  void CaptionChanged(const std::string& caption) override;
  void TextChanged(ControlId control, const std::string& text) override;
  void Unloaded() override;

 private:
  void CreateControls();
  void Press();
  void DryRunTriggered(bool checked);
  void ChooseDriverFolder();
  void OpenImage();
  void SetMenuItemsEnabled(bool enabled);
  void ShowDryRunState();
  QWidget* DialogParent();

  FormWindow window_;
  std::array<QWidget*, kControlDesigns.size()> controls_{};
  QAction* dryRun_ = nullptr;
  QAction* addDriver_ = nullptr;
  QAction* openImage_ = nullptr;
  WindowPresenter presenter_;
};

// The window program: the front end, the form it renders and the Linux platform beneath.
class QtProgram {
 public:
  explicit QtProgram(const PlatformOptions& options, const RepairOptions& repair = {});

  // Loads the form: the window shows, gets its caption and its prompt.
  void Start() { form_.Load(); }
  Form1& Form() { return form_; }
  QtFrontEnd& FrontEnd() { return *frontEnd_; }

 private:
  std::shared_ptr<QtFrontEnd> frontEnd_;
  Platform platform_;
  Form1 form_;
};

}  // namespace ravlin

#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "app/form1.hpp"
#include "app/repair_options.hpp"
#include "app/window_presenter.hpp"
#include "platform/backend.hpp"
#include "platform/ui.hpp"

namespace ravlin {

// The identifier of a control's child window, so that other programs can find it.
int ControlIdentifier(ControlId control);
// The window class of the program's window, so that other programs can find it.
inline constexpr wchar_t kWindowClassName[] = L"RavlinWindow";

// A window that is destroyed with its owner, unless the system destroyed it first.
class UniqueWindow {
 public:
  UniqueWindow() = default;
  UniqueWindow(const UniqueWindow&) = delete;
  UniqueWindow& operator=(const UniqueWindow&) = delete;
  ~UniqueWindow() { Destroy(); }

  HWND Get() const { return window_; }
  void Reset(HWND window) {
    Destroy();
    window_ = window;
  }
  void Destroy();
  // The system has destroyed it (WM_NCDESTROY).
  void Forget() { window_ = nullptr; }

 private:
  HWND window_ = nullptr;
};

// The native face of Form1: renders its texts in a fixed window laid out from the design
// table, forwards the Browse press and the close request, and provides the message boxes, the
// folder dialog and the message pump. It decides nothing about the repair.
class Win32FrontEnd final : public Ui, public FormView {
 public:
  Win32FrontEnd();
  Win32FrontEnd(const Win32FrontEnd&) = delete;
  Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;
  ~Win32FrontEnd() override;

  // The form whose state the window renders and to which it forwards the user's actions,
  // with the command line's options for its attempts.
  void Attach(Form1& form, const RepairOptions& options);

  HWND Window() const { return window_.Get(); }
  HWND Control(ControlId control) const;
  bool Ended() const { return presenter_.Ended(); }
  // True when the window closed because the user closed it (not after a completed repair).
  bool ClosedByUser() const { return presenter_.ClosedByUser(); }
  // What the context menu's "Open disk image..." runs on.
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

  // Hands one message of the thread to the window (keyboard navigation first).
  void Dispatch(MSG& message);

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls(int dpi);
  void ShowContextMenu(LPARAM position);
  void OpenImage();
  void ShowStatus(const std::string& line);
  void CloseRequested();
  HWND DialogOwner() const;

  UniqueWindow window_;
  std::array<HWND, kControlDesigns.size()> controls_{};
  WindowPresenter presenter_;
};

// The window program: the front end, the form it renders and the platform beneath.
class Win32Program {
 public:
  Win32Program(const PlatformOptions& options, const RepairOptions& repair);

  Form1& Form() { return form_; }
  Win32FrontEnd& FrontEnd() { return *frontEnd_; }
  // Loads the form and runs the window's messages until it unloads; the exit code.
  int Run();

 private:
  std::shared_ptr<Win32FrontEnd> frontEnd_;
  Platform platform_;
  Form1 form_;
};

}  // namespace ravlin

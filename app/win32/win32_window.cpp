#include "app/win32/win32_window.hpp"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "app/win32/win32_dialogs.hpp"
#include "app/win32/win32_front_end.hpp"
#include "platform/win32/files/win32_drives.hpp"
#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// Controls are numbered by their place in the design table, from this number on.
constexpr int kFirstControlIdentifier = 1000;
// The icon's resource number in ravlin.rc.
constexpr int kIconResource = 1;
constexpr UINT kDryRunCommand = 2000;
constexpr UINT kDriverCommand = 2001;
constexpr UINT kOpenImageCommand = 2002;
// Fixed size: a caption with the system menu and a minimise button, no sizing border.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

struct MenuDestroy {
  void operator()(HMENU menu) const { ::DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroy>;

struct ScreenRelease {
  void operator()(HDC screen) const { ::ReleaseDC(nullptr, screen); }
};
using ScreenContext = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenRelease>;

HFONT DialogFont() {
  return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

int ScreenDpi() {
  constexpr int kDesignDpi = 96;
  const ScreenContext screen(::GetDC(nullptr));
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : kDesignDpi;
  return dpi > 0 ? dpi : kDesignDpi;
}

RECT ToRect(const PixelRect& rect) {
  return {rect.left, rect.top, rect.right, rect.bottom};
}

// Selects a font into a device context for as long as it lives.
struct FontSelection {
  HDC context;
  HGDIOBJ previous;
  ~FontSelection() { ::SelectObject(context, previous); }
};

// Whether every label's design text fits in its box at `layoutDpi` in the selected font: a
// label on one line needs its text's width and height, a wrapping one the height of its
// wrapped lines.
bool LabelsFit(HDC context, int layoutDpi) {
  for (const ControlDesign& design : kControlDesigns) {
    if (design.kind != ControlKind::Label) continue;
    const RECT box = ToRect(DesignRect(design, layoutDpi));
    const std::wstring text = Wide(design.designText);
    RECT needed{0, 0, box.right - box.left, 0};
    const UINT format =
        DT_CALCRECT | DT_NOPREFIX | DT_LEFT | (design.wordWrap ? DT_WORDBREAK : DT_SINGLELINE);
    if (::DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &needed, format) == 0)
      return true;  // nothing to measure with: the design stands
    if (needed.right - needed.left > box.right - box.left ||
        needed.bottom - needed.top > box.bottom - box.top)
      return false;
  }
  return true;
}

// The dpi the layout is drawn at: the screen's, or more where the dialog font's texts would
// not fit the designed boxes (a wider font, large fonts), so that the window grows as a whole
// and keeps its proportions. The design is the minimum.
int FittingLayoutDpi(int screenDpi, HFONT font) {
  const ScreenContext screen(::GetDC(nullptr));
  if (!screen) return screenDpi;
  const FontSelection selected{screen.get(), ::SelectObject(screen.get(), font)};
  int layoutDpi = screenDpi;
  while (layoutDpi < 3 * screenDpi && !LabelsFit(screen.get(), layoutDpi)) layoutDpi += 2;
  return layoutDpi;
}

std::size_t IndexOf(ControlId id) {
  return static_cast<std::size_t>(&DesignOf(id) - kControlDesigns.data());
}

HINSTANCE ProgramInstance() {
  return ::GetModuleHandleW(nullptr);
}

void RegisterWindowClass() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &Win32FrontEnd::WindowProcedure;
  windowClass.hInstance = ProgramInstance();
  windowClass.hIcon = ::LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(kIconResource));
  windowClass.hIconSm = static_cast<HICON>(
      ::LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClassName;
  // Registered once per process; a second front end finds the class there.
  if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw ErrorFromLastError();
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

ControlClass ClassOf(const ControlDesign& design) {
  constexpr DWORD child = WS_CHILD | WS_VISIBLE;
  switch (design.kind) {
    case ControlKind::CommandButton:
      return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::TextBox:
      return {L"EDIT", child | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE};
    case ControlKind::Label:
      break;
  }
  // Paths may hold an ampersand, which must not become a keyboard underline.
  return {L"STATIC", child | SS_NOPREFIX | (design.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP), 0};
}

}  // namespace

int ControlIdentifier(ControlId control) {
  return kFirstControlIdentifier + static_cast<int>(IndexOf(control));
}

void UniqueWindow::Destroy() {
  if (window_ == nullptr) return;
  const HWND window = std::exchange(window_, nullptr);
  ::DestroyWindow(window);
}

Win32FrontEnd::Win32FrontEnd() {
  // The manifest asks for common controls 6, whose buttons, edits and labels exist only once
  // comctl32 is initialised: without this XP may create none of them.
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                     ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&classes);
  RegisterWindowClass();
  const int dpi = FittingLayoutDpi(ScreenDpi(), DialogFont());
  RECT frame = ToRect(ClientRect(dpi));
  ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
  const std::wstring caption = Wide(kDesignCaption);
  const HWND window =
      ::CreateWindowExW(kWindowExStyle, kWindowClassName, caption.c_str(), kWindowStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, ProgramInstance(), this);
  if (window == nullptr) throw ErrorFromLastError();
  window_.Reset(window);
  CreateControls(dpi);
}

Win32FrontEnd::~Win32FrontEnd() = default;

void Win32FrontEnd::CreateControls(int dpi) {
  const auto font = reinterpret_cast<WPARAM>(DialogFont());
  // Created in tab order, which is the order in which the keyboard moves between them.
  for (const ControlDesign& design : ControlsInTabOrder()) {
    const ControlClass controlClass = ClassOf(design);
    const RECT box = ToRect(DesignRect(design, dpi));
    const HWND control = ::CreateWindowExW(
        controlClass.exStyle, controlClass.name, Wide(design.designText).c_str(),
        controlClass.style, box.left, box.top, box.right - box.left, box.bottom - box.top,
        window_.Get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdentifier(design.id))),
        ProgramInstance(), nullptr);
    if (control == nullptr) throw ErrorFromLastError();
    ::SendMessageW(control, WM_SETFONT, font, FALSE);
    controls_[IndexOf(design.id)] = control;
  }
}

HWND Win32FrontEnd::Control(ControlId control) const {
  return controls_[IndexOf(control)];
}

void Win32FrontEnd::Attach(Form1& form, const RepairOptions& options) {
  presenter_.Attach(form, options);
  CaptionChanged(form.Caption());
  for (const ControlDesign& design : kControlDesigns) TextChanged(design.id, form.Text(design.id));
}

LRESULT CALLBACK Win32FrontEnd::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* frontEnd = reinterpret_cast<Win32FrontEnd*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (frontEnd == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    frontEnd->window_.Forget();
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  return frontEnd->OnMessage(window, message, wParam, lParam);
}

LRESULT Win32FrontEnd::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == ControlIdentifier(ControlId::Browse) && HIWORD(wParam) == BN_CLICKED)
        presenter_.Press();
      return 0;
    case WM_CONTEXTMENU:
      ShowContextMenu(lParam);
      return 0;
    case WM_CLOSE:
      CloseRequested();
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

// The dry run and the vendor's driver sit in the window's context menu, so that the designed
// layout stays as it is. They are fixed for the length of a press.
void Win32FrontEnd::ShowContextMenu(LPARAM position) {
  if (!presenter_.Attached()) return;
  const UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return;
  const UINT state = (presenter_.DryRunChecked() ? MF_CHECKED : MF_UNCHECKED) |
                     (presenter_.MenuItemsEnabled() ? MF_ENABLED : MF_GRAYED);
  ::AppendMenuW(menu.get(), MF_STRING | state, kDryRunCommand, Wide(kDryRunItemText).c_str());
  ::AppendMenuW(menu.get(), MF_STRING | (presenter_.MenuItemsEnabled() ? MF_ENABLED : MF_GRAYED),
                kDriverCommand, Wide(kDriverItemText).c_str());
  if (presenter_.ImagesAvailable())
    ::AppendMenuW(menu.get(), MF_STRING | (presenter_.MenuItemsEnabled() ? MF_ENABLED : MF_GRAYED),
                  kOpenImageCommand, Wide(kOpenImageItemText).c_str());
  POINT at{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  if (position == -1) {  // from the keyboard: at the window's top left corner
    at = {0, 0};
    ::ClientToScreen(window_.Get(), &at);
  }
  const auto chosen = static_cast<UINT>(::TrackPopupMenu(
      menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_.Get(), nullptr));
  if (chosen == kDryRunCommand && presenter_.UserSetsDryRun(!presenter_.DryRunChecked()))
    ::SetWindowTextW(window_.Get(), Wide(presenter_.Title()).c_str());
  if (chosen == kDriverCommand)
    if (const auto folder = ShowFolderDialog(DialogOwner(), std::string(kDriverFolderPrompt)))
      presenter_.UserChoosesDriverFolder(*folder);
  if (chosen == kOpenImageCommand) OpenImage();
}

void Win32FrontEnd::SetImageEngine(const Platform& platform, std::unique_ptr<DiskImages> images) {
  presenter_.SetImageEngine(platform, std::move(images));
}

void Win32FrontEnd::ShowStatus(const std::string& line) {
  const HWND status = Control(ControlId::Label3);
  ::SetWindowTextW(status, Wide(line).c_str());
  ::UpdateWindow(status);
}

void Win32FrontEnd::OpenImage() {
  if (!presenter_.MenuItemsEnabled()) return;
  const auto image = ShowFileDialog(DialogOwner(), std::string(kImageFilePrompt));
  if (!image) return;
  const std::string title(kApplicationTitle);
  ImageWindowHooks hooks;
  // Each step's line shows in the status label at once, and the messages waiting meanwhile
  // are handled; the attempt itself pumps them as a press does.
  hooks.status = [this](const std::string& line) {
    ShowStatus(line);
    DoEvents();
  };
  // The list, one installation a box: Yes repairs it, No offers the next; no answer after
  // the last repairs none.
  hooks.choose = [this, &title](const std::vector<WindowsCandidate>& candidates) {
    for (std::size_t i = 0; i < candidates.size(); ++i)
      if (ShowMessageBox(DialogOwner(),
                         std::string(kImageChoicePrompt) + "\r\n\r\n" +
                             CandidateLabel(candidates[i]) +
                             "\r\n\r\nYes repairs this one, No offers the next.",
                         mb::kYesNo | mb::kQuestion, title) == mb::kIdYes)
        return std::optional<std::size_t>(i);
    return std::optional<std::size_t>();
  };
  const ImageOutcome outcome = presenter_.UserOpensImage(*image, hooks);
  if (!presenter_.Ended()) ShowStatus(presenter_.FormText(ControlId::Label3));
  if (outcome.started && !outcome.completed && !outcome.failure.empty())
    ShowMessageBox(DialogOwner(), outcome.failure, mb::kExclamation, title);
}

void Win32FrontEnd::CloseRequested() {
  // Refused while a press runs.
  if (presenter_.UserRequestsClose()) window_.Destroy();
}

HWND Win32FrontEnd::DialogOwner() const {
  return window_.Get() != nullptr && ::IsWindowVisible(window_.Get()) ? window_.Get() : nullptr;
}

int Win32FrontEnd::MessageBox(const std::string& text, int style, const std::string& title) {
  return ShowMessageBox(DialogOwner(), text, style, title);
}

std::optional<std::filesystem::path> Win32FrontEnd::BrowseForFolder(Handle owner,
                                                                    const std::string& prompt) {
  if (const auto imageFolder = presenter_.ImageFolder()) return imageFolder;
  const HWND dialogOwner = owner != 0 ? DialogOwner() : nullptr;
  auto chosen = ShowFolderDialog(dialogOwner, prompt);
  // A folder of the network has no drive letter to work with: said, not silently dropped.
  if (chosen && Win32Drives().ToDrivePath(*chosen).empty()) {
    ShowMessageBox(dialogOwner,
                   Narrow(chosen->wstring()) +
                       " is not on a drive of this computer (a network folder). Ravlin repairs "
                       "a Windows folder on a disk here: attach the guest's disk and choose the "
                       "folder on its drive.",
                   mb::kExclamation, std::string(kApplicationTitle));
    return std::nullopt;
  }
  return chosen;
}

void Win32FrontEnd::ShowReport(const std::string& text, const std::string& title) {
  ShowReportDialog(DialogOwner(), text, title);
}

void Win32FrontEnd::DoEvents() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the outer message loop, which ends the program in order.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

void Win32FrontEnd::Dispatch(MSG& message) {
  if (window_.Get() != nullptr && ::IsDialogMessageW(window_.Get(), &message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

void Win32FrontEnd::Shown() {
  ::ShowWindow(window_.Get(), SW_SHOW);
  ::UpdateWindow(window_.Get());
  // Tab index 0 has the focus when the window opens.
  ::SetFocus(Control(ControlsInTabOrder().front().id));
}

void Win32FrontEnd::CaptionChanged(const std::string&) {
  ::SetWindowTextW(window_.Get(), Wide(presenter_.Title()).c_str());
}

void Win32FrontEnd::TextChanged(ControlId control, const std::string& text) {
  const HWND child = Control(control);
  ::SetWindowTextW(child, Wide(text).c_str());
  // Painted now, not at the next turn of the message loop: the workflow may be waiting for a
  // process and the status must show meanwhile.
  ::UpdateWindow(child);
}

void Win32FrontEnd::Unloaded() {
  // The form unloads itself after a completed repair; the window goes with it.
  if (presenter_.FormUnloaded()) window_.Destroy();
}

Win32Program::Win32Program(const PlatformOptions& options, const RepairOptions& repair)
    : frontEnd_(std::make_shared<Win32FrontEnd>()),
      platform_(MakePlatform(frontEnd_, options)),
      form_(platform_, *frontEnd_) {
  frontEnd_->Attach(form_, repair);
  frontEnd_->SetImageEngine(platform_,
                            MakeDiskImages(options.registryStore.parent_path() / "images"));
}

int Win32Program::Run() {
  form_.Load();
  if (form_.RefusedAtStart()) return 2;
  MSG message;
  while (!frontEnd_->Ended()) {
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) {
      // Asked to quit from outside: the window closes as if the user closed it.
      ::SendMessageW(frontEnd_->Window(), WM_CLOSE, 0, 0);
      break;
    }
    frontEnd_->Dispatch(message);
  }
  return frontEnd_->ClosedByUser() ? 1 : 0;
}

int RunWin32Window(const PlatformOptions& options, const RepairOptions& repair) {
  try {
    Win32Program program(options, repair);
    return program.Run();
  } catch (const RuntimeError& error) {
    ::MessageBoxW(nullptr, Wide("Ravlin cannot open its window: " + error.Description()).c_str(),
                  Wide(kApplicationTitle).c_str(), MB_ICONHAND | MB_TASKMODAL);
    return 2;
  }
}

}  // namespace ravlin

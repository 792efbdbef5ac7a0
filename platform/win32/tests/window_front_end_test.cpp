// The window's user-interface services and its context menu in this process: each box, dialog
// or menu is answered from a second thread, as a user would, while the window waits in its
// modal loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/win32/win32_window.hpp"
#include "platform/backend.hpp"
#include "platform/ui.hpp"
#include "platform/win32/tests/window_driver.hpp"

namespace ravlin {
namespace {

using namespace window_driver;

// Runs `work` on a second thread and joins it when the test step is over.
class Responder {
 public:
  explicit Responder(std::function<void()> work) : work_(std::move(work)) {
    thread_ = ::CreateThread(nullptr, 0, &Run, this, 0, nullptr);
  }
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;
  ~Responder() {
    if (thread_ == nullptr) return;
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
  }
  bool Started() const { return thread_ != nullptr; }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Responder*>(self)->work_();
    return 0;
  }

  std::function<void()> work_;
  HANDLE thread_ = nullptr;
};

// What a box showed, read before it was answered.
struct SeenBox {
  std::wstring title;
  std::wstring text;
  std::vector<std::wstring> buttons;
  HICON icon = nullptr;
  std::wstring defaultButton;
};

HWND OwnDialog() {
  return WaitForDialog(::GetCurrentProcessId());
}

// Shows a box through the front end, reads it and presses the button with `answerId`.
int ShowAndAnswer(Win32FrontEnd& frontEnd, const std::string& text, int style, int answerId,
                  SeenBox& seen) {
  const Responder responder([&] {
    const HWND box = OwnDialog();
    if (box == nullptr) return;
    seen.title = TextOf(box).value_or(L"");
    seen.text = MessageBoxText(box);
    seen.buttons = ChildTexts(box, L"Button");
    seen.icon = MessageBoxIcon(box);
    seen.defaultButton = DefaultButtonText(box);
    Press(::GetDlgItem(box, answerId));
  });
  EXPECT_TRUE(responder.Started());
  return frontEnd.MessageBox(text, style, "Ravlin");
}

TEST(Win32MessageBox, ShowsTheStylesButtonsIconAndTextAndReturnsTheAnswer) {
  Win32FrontEnd frontEnd;
  const std::string twoLines = "Cannot find SYSTEM hive:\r\nD:\\WINDOWS\\system32\\config\\system";

  SeenBox critical;
  EXPECT_EQ(ShowAndAnswer(frontEnd, twoLines, mb::kOkOnly | mb::kCritical, IDOK, critical),
            mb::kIdOk);
  EXPECT_EQ(critical.title, L"Ravlin");
  EXPECT_EQ(critical.text, L"Cannot find SYSTEM hive:\r\nD:\\WINDOWS\\system32\\config\\system");
  EXPECT_EQ(critical.buttons, (std::vector<std::wstring>{L"OK"}));
  EXPECT_EQ(critical.icon, ::LoadIconW(nullptr, IDI_HAND));

  SeenBox warning;
  EXPECT_EQ(ShowAndAnswer(frontEnd, "Repair it anyway?",
                          mb::kYesNo | mb::kExclamation | mb::kDefaultButton2, IDYES, warning),
            mb::kIdYes);
  EXPECT_EQ(warning.buttons, (std::vector<std::wstring>{L"&Yes", L"&No"}));
  EXPECT_EQ(warning.defaultButton, L"&No");
  EXPECT_EQ(warning.icon, ::LoadIconW(nullptr, IDI_EXCLAMATION));

  SeenBox question;
  EXPECT_EQ(ShowAndAnswer(frontEnd, "Unload it now?", mb::kOkCancel | mb::kInformation, IDCANCEL,
                          question),
            mb::kIdCancel);
  EXPECT_EQ(question.buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
  EXPECT_EQ(question.defaultButton, L"OK");
  EXPECT_EQ(question.icon, ::LoadIconW(nullptr, IDI_ASTERISK));

  SeenBox plain;
  EXPECT_EQ(ShowAndAnswer(frontEnd, "Error unloading registry hive, 2", mb::kOkOnly, IDOK, plain),
            mb::kIdOk);
  EXPECT_EQ(plain.icon, nullptr);
}

// The dry run's report: hundreds of lines in a box that scrolls, grows with its dialog and
// lets the user select and copy, but not change, the text.
TEST(Win32ReportDialog, ShowsTheWholeReportReadOnlyScrollableAndResizable) {
  Win32FrontEnd frontEnd;
  std::string report;
  for (int line = 1; line <= 300; ++line)
    report += "ControlSet001\\Services\\atapi: line " + std::to_string(line) + "\r\n";
  struct Seen {
    std::wstring title;
    std::wstring text;
    DWORD textStyle = 0;
    DWORD dialogStyle = 0;
    LONG widthBefore = 0;
    LONG widthAfter = 0;
    LONG heightAfter = 0;
    bool typingRefused = false;
  } seen;
  const Responder responder([&] {
    const HWND dialog = OwnDialog();
    if (dialog == nullptr) return;
    seen.title = TextOf(dialog).value_or(L"");
    const auto boxes = Children(dialog);
    HWND text = nullptr;
    for (const HWND child : boxes)
      if (ClassOf(child) == L"Edit") text = child;
    if (text == nullptr) return;
    seen.text = TextOf(text).value_or(L"");
    seen.textStyle = static_cast<DWORD>(::GetWindowLongW(text, GWL_STYLE));
    seen.dialogStyle = static_cast<DWORD>(::GetWindowLongW(dialog, GWL_STYLE));
    RECT box{};
    ::GetWindowRect(text, &box);
    seen.widthBefore = box.right - box.left;
    RECT frame{};
    ::GetWindowRect(dialog, &frame);
    ::SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 200,
                   frame.bottom - frame.top + 100, SWP_NOMOVE | SWP_NOZORDER);
    ::GetWindowRect(text, &box);
    seen.widthAfter = box.right - box.left;
    seen.heightAfter = box.bottom - box.top;
    // A read-only box keeps its text whatever is typed into it.
    ::SendMessageW(text, EM_SETSEL, 0, -1);
    ::SendMessageW(text, WM_CHAR, L'x', 0);
    seen.typingRefused = TextOf(text).value_or(L"") == seen.text;
    Press(::GetDlgItem(dialog, IDOK));
  });
  ASSERT_TRUE(responder.Started());
  frontEnd.ShowReport(report, "Ravlin: dry run");
  EXPECT_EQ(seen.title, L"Ravlin: dry run");
  EXPECT_EQ(seen.text.size(), report.size());
  EXPECT_EQ(seen.text.substr(seen.text.size() - 10), L"line 300\r\n");
  EXPECT_NE(seen.textStyle & ES_READONLY, 0u);
  EXPECT_NE(seen.textStyle & ES_MULTILINE, 0u);
  EXPECT_NE(seen.textStyle & WS_VSCROLL, 0u);
  EXPECT_NE(seen.dialogStyle & WS_THICKFRAME, 0u) << "the dialog must be resizable";
  EXPECT_EQ(seen.widthAfter - seen.widthBefore, 200);
  EXPECT_GT(seen.heightAfter, 0);
  EXPECT_TRUE(seen.typingRefused);
}

TEST(Win32FolderDialog, ReturnsTheChosenFolderOrNothingOnCancel) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::filesystem::path folder =
      std::filesystem::path(temp) / ("ravlin-window-" + std::to_string(::GetCurrentProcessId()));
  std::filesystem::create_directories(folder);
  Win32FrontEnd frontEnd;

  std::vector<std::wstring> labels;
  std::optional<std::filesystem::path> chosen;
  {
    const Responder responder([&] {
      const HWND dialog = OwnDialog();
      if (dialog == nullptr) return;
      labels = ChildTexts(dialog, L"Static");
      if (SelectFolder(dialog, ::GetCurrentProcessId(), folder))
        Press(::GetDlgItem(dialog, IDOK));
      else
        Press(::GetDlgItem(dialog, IDCANCEL));
    });
    chosen = frontEnd.BrowseForFolder(0, "Choose a Windows Directory");
  }
  EXPECT_NE(std::find(labels.begin(), labels.end(), L"Choose a Windows Directory"), labels.end());
  ASSERT_TRUE(chosen.has_value());
  EXPECT_TRUE(std::filesystem::equivalent(*chosen, folder)) << chosen->string();

  {
    const Responder responder([&] {
      if (const HWND dialog = OwnDialog()) Press(::GetDlgItem(dialog, IDCANCEL));
    });
    chosen = frontEnd.BrowseForFolder(0, "Choose a Windows Directory");
  }
  EXPECT_FALSE(chosen.has_value());
  std::filesystem::remove(folder);
}

TEST(Win32MessagePump, RunsPendingMessagesAndLeavesAQuitRequestForTheLoop) {
  Win32FrontEnd frontEnd;
  const HWND window = frontEnd.Window();
  ASSERT_TRUE(::IsWindow(window));
  // Without a form, a close request closes the window at once: the pump must deliver it.
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ::PostQuitMessage(3);
  frontEnd.DoEvents();
  EXPECT_FALSE(::IsWindow(window));
  MSG message;
  ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);
}

// Reads the dry run's item in the open context menu of this process, then leaves the menu
// with `key` (Enter chooses the item).
UINT AnswerDryRunMenu(UINT key, std::wstring& itemText) {
  const HWND menuWindow = WaitForWindow(::GetCurrentProcessId(), L"#32768");
  if (menuWindow == nullptr) return static_cast<UINT>(-1);
  const auto menu = reinterpret_cast<HMENU>(::SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
  const UINT state = ::GetMenuState(menu, 0, MF_BYPOSITION);
  wchar_t item[128] = {};
  ::GetMenuStringW(menu, 0, item, 128, MF_BYPOSITION);
  itemText = item;
  if (key == VK_RETURN) ::PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
  ::PostMessageW(menuWindow, WM_KEYDOWN, key, 0);
  return state;
}

TEST(Win32WindowMenu, TheDryRunIsOffAtFirstTogglesAndIsFixedWhileAPressRuns) {
  Win32Program program(PlatformOptions::FromEnvironment(), RepairOptions{});
  program.Form().Load();
  const HWND window = program.FrontEnd().Window();
  constexpr UINT kMarks = MF_CHECKED | MF_GRAYED;
  // From the keyboard the menu opens at the window's corner.
  const auto openMenu = [window] { ::SendMessageW(window, WM_CONTEXTMENU, 0, -1); };

  UINT state = 0;
  std::wstring item;
  {
    const Responder responder([&] { state = AnswerDryRunMenu(VK_RETURN, item); });
    openMenu();
  }
  EXPECT_EQ(item, L"Dry run: show what a repair would change, change nothing");
  EXPECT_EQ(state & kMarks, 0u);
  EXPECT_TRUE(program.Form().DryRunSet());

  // While the folder dialog of a press is open, the item is shown but cannot be changed.
  {
    const Responder responder([&] {
      const HWND dialog = OwnDialog();
      if (dialog == nullptr) return;
      const Responder menuResponder([&] { state = AnswerDryRunMenu(VK_RETURN, item); });
      ::SendMessageW(window, WM_CONTEXTMENU, 0, -1);
      Press(::GetDlgItem(dialog, IDCANCEL));
    });
    program.Form().Browse_Click();
  }
  EXPECT_EQ(state & kMarks, kMarks);
  EXPECT_TRUE(program.Form().DryRunSet());

  {
    const Responder responder([&] { state = AnswerDryRunMenu(VK_RETURN, item); });
    openMenu();
  }
  EXPECT_EQ(state & kMarks, static_cast<UINT>(MF_CHECKED));
  EXPECT_FALSE(program.Form().DryRunSet());
  EXPECT_TRUE(program.Form().RequestClose());
}

}  // namespace
}  // namespace ravlin

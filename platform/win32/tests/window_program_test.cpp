// ravlin.exe in its window, driven from outside as a user would: the window and its boxes
// are found by class, read with WM_GETTEXT and pressed with BM_CLICK.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/form_design.hpp"
#include "app/win32/win32_window.hpp"
#include "platform/win32/tests/window_driver.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

using namespace window_driver;

const std::wstring kCaption = L"Ravlin  v1.0 for Windows XP  -  https://ravlin.example.org";
const std::wstring kPrompt = L"<Select a valid Windows directory>";

std::filesystem::path OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, length)).parent_path();
}

// The program of this build: beside the tests, or in the build's bin folder.
std::filesystem::path ProgramUnderTest() {
  const std::filesystem::path here = OwnFolder();
  for (const auto& candidate : {here / "ravlin.exe", here.parent_path() / "bin" / "ravlin.exe"})
    if (std::filesystem::exists(candidate)) return candidate;
  return here.parent_path() / "bin" / "ravlin.exe";
}

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

class Win32WindowProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path program = ProgramUnderTest();
    ASSERT_TRUE(std::filesystem::exists(program)) << program.string();
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    scratch_ = std::filesystem::path(temp) /
               ("ravlin-window-test-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(scratch_);
    process_ = std::make_unique<DrivenProcess>(L"\"" + program.wstring() + L"\" --gui", scratch_);
    window_ = WaitForWindow(process_->Id(), kWindowClassName,
                            [](HWND window) { return TextOf(window) == kCaption; });
    ASSERT_NE(window_, nullptr) << "the window never showed its caption";
  }

  void TearDown() override {
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
  }

  HWND Control(ControlId control) const {
    return ::GetDlgItem(window_, ControlIdentifier(control));
  }
  std::wstring TextOfControl(ControlId control) const {
    return TextOf(Control(control)).value_or(L"(no answer)");
  }
  bool Shows(ControlId control, const std::wstring& text) const {
    return WaitUntil([&] { return TextOfControl(control) == text; });
  }
  // The program's dialogs and boxes (the window itself is of its own class).
  std::vector<HWND> Dialogs() const { return WindowsOfProcess(process_->Id(), L"#32770"); }
  HWND OpenFolderDialog() {
    Press(Control(ControlId::Browse));
    return WaitForDialog(process_->Id());
  }
  // A box other than `dialog` (which may be closing).
  HWND NextBox(HWND dialog) {
    return WaitForDialog(process_->Id(), [dialog](HWND box) { return box != dialog; });
  }
  // Chooses `folder` in the folder dialog that Browse opens; the box that follows, or null.
  HWND ChooseFolder(const std::filesystem::path& folder) {
    const HWND dialog = OpenFolderDialog();
    if (dialog == nullptr || !SelectFolder(dialog, process_->Id(), folder)) return nullptr;
    Press(::GetDlgItem(dialog, IDOK));
    return NextBox(dialog);
  }
  void CloseAndExpectExitCode(DWORD expected) {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    const auto code = process_->WaitForExit();
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, expected);
  }

  std::filesystem::path scratch_;
  std::unique_ptr<DrivenProcess> process_;
  HWND window_ = nullptr;
};

TEST_F(Win32WindowProgram, StartsIdleWithTheDesignedFixedLayoutAndEndsWithOneWhenClosed) {
  EXPECT_EQ(TextOfControl(ControlId::Text1), kPrompt);
  EXPECT_EQ(TextOfControl(ControlId::Label3), L"Idle");
  EXPECT_EQ(TextOfControl(ControlId::Browse), L"Browse");
  EXPECT_EQ(TextOfControl(ControlId::Label1), L"Choose a Guest Windows directory to begin:");
  EXPECT_EQ(TextOfControl(ControlId::Label2), L"Status:");
  EXPECT_EQ(TextOfControl(ControlId::Label4), Wide(kDescription));

  const auto style = static_cast<DWORD>(::GetWindowLongW(window_, GWL_STYLE));
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0u) << "the window must keep its size";
  const auto text1Style =
      static_cast<DWORD>(::GetWindowLongW(Control(ControlId::Text1), GWL_STYLE));
  EXPECT_NE(text1Style & ES_READONLY, 0u);

  // Tab index 0 has the focus at the start; the keyboard moves between the text box and the
  // button only, labels take no focus.
  GUITHREADINFO focus{};
  focus.cbSize = sizeof(focus);
  ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(window_, nullptr), &focus));
  EXPECT_EQ(focus.hwndFocus, Control(ControlId::Text1));
  EXPECT_EQ(::GetNextDlgTabItem(window_, Control(ControlId::Text1), FALSE),
            Control(ControlId::Browse));
  EXPECT_EQ(::GetNextDlgTabItem(window_, Control(ControlId::Browse), FALSE),
            Control(ControlId::Text1));

  // Twips become pixels at the screen's dpi (15 twips a pixel at 96 dpi), or at a higher one
  // where the dialog font's texts need more room: the design's proportions stay.
  const int screenDpi = ScreenDpi();
  RECT client{};
  ASSERT_TRUE(::GetClientRect(window_, &client));
  int dpi = screenDpi;
  while (dpi < 3 * screenDpi && ::MulDiv(kClientWidthTwips, dpi, 1440) != client.right) ++dpi;
  const auto pixels = [dpi](int twips) { return ::MulDiv(twips, dpi, 1440); };
  EXPECT_EQ(client.right, pixels(kClientWidthTwips));
  EXPECT_EQ(client.bottom, pixels(kClientHeightTwips));
  for (const ControlDesign& design : kControlDesigns) {
    RECT box{};
    ASSERT_TRUE(::GetWindowRect(Control(design.id), &box)) << design.name;
    ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, pixels(design.left)) << design.name;
    EXPECT_EQ(box.top, pixels(design.top)) << design.name;
    EXPECT_EQ(box.right, pixels(design.left + design.width)) << design.name;
    EXPECT_EQ(box.bottom, pixels(design.top + design.height)) << design.name;
  }

  // Every label shows its whole text in the font it draws with.
  for (const ControlDesign& design : kControlDesigns) {
    if (design.kind != ControlKind::Label) continue;
    const HWND label = Control(design.id);
    RECT box{};
    ASSERT_TRUE(::GetClientRect(label, &box));
    const HDC context = ::GetDC(label);
    ASSERT_NE(context, nullptr);
    // The window draws its labels in the dialog font, a stock object that this process has
    // too (the window's own font handle means nothing here).
    const HGDIOBJ previous = ::SelectObject(context, ::GetStockObject(DEFAULT_GUI_FONT));
    const std::wstring text = Wide(design.designText);
    RECT needed{0, 0, box.right, 0};
    ::DrawTextW(context, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_NOPREFIX | (design.wordWrap ? DT_WORDBREAK : DT_SINGLELINE));
    ::SelectObject(context, previous);
    ::ReleaseDC(label, context);
    EXPECT_LE(needed.right, box.right) << design.name << " is cut off at the side";
    EXPECT_LE(needed.bottom, box.bottom) << design.name << " is cut off at the bottom";
  }
  // Under a real X server the picture of the window is kept for people to look at.
  if (const char* picture = std::getenv("RAVLIN_WINDOW_PICTURE")) {
    EXPECT_TRUE(SaveWindowPicture(window_, picture)) << picture;
  }

  CloseAndExpectExitCode(1);
}

TEST_F(Win32WindowProgram, BrowseOpensTheFolderDialogRefusesASecondPressAndCloseAndCancelIdles) {
  const HWND dialog = OpenFolderDialog();
  ASSERT_NE(dialog, nullptr) << "Browse opened no folder dialog";
  EXPECT_TRUE(WaitUntil(
      [&] { return ChildWithText(dialog, L"Static", L"Choose a Windows Directory") != nullptr; }));
  EXPECT_TRUE(Shows(ControlId::Label3, L"Choosing a Windows Directory..."));

  // The dialog has no owner, so the window still takes input: a second press and a close
  // are both refused at once while the press runs.
  EXPECT_EQ(::GetWindow(dialog, GW_OWNER), nullptr);
  EXPECT_TRUE(SendAndWait(Control(ControlId::Browse), BM_CLICK));
  EXPECT_TRUE(SendAndWait(window_, WM_CLOSE));
  EXPECT_EQ(Dialogs().size(), 1u);
  EXPECT_TRUE(::IsWindow(window_));
  EXPECT_FALSE(process_->WaitForExit(0ms).has_value());

  Press(::GetDlgItem(dialog, IDCANCEL));
  EXPECT_TRUE(Shows(ControlId::Label3, L"Idle"));
  EXPECT_EQ(TextOfControl(ControlId::Text1), kPrompt);
  EXPECT_TRUE(WaitUntil([&] { return Dialogs().empty(); }));

  CloseAndExpectExitCode(1);
}

TEST_F(Win32WindowProgram, AGuestWithoutItsHiveIsRefusedWithTheExactBoxAndTheWindowIdles) {
  const std::filesystem::path guest = scratch_ / "WINDOWS";
  std::filesystem::create_directories(guest / "system32" / "config");
  const HWND box = ChooseFolder(guest);
  ASSERT_NE(box, nullptr) << "no box for the missing hive";
  EXPECT_EQ(TextOf(box), L"Ravlin");
  EXPECT_EQ(MessageBoxText(box),
            L"Cannot find SYSTEM hive:\r\n" + guest.wstring() + L"\\system32\\config\\system");
  EXPECT_EQ(MessageBoxIcon(box), nullptr);
  EXPECT_EQ(ChildTexts(box, L"Button"), (std::vector<std::wstring>{L"OK"}));

  Press(::GetDlgItem(box, IDOK));
  EXPECT_TRUE(Shows(ControlId::Label3, L"Idle"));
  EXPECT_EQ(TextOfControl(ControlId::Text1), kPrompt);
  CloseAndExpectExitCode(1);
}

TEST_F(Win32WindowProgram, TheRunningSystemsOwnWindowsFolderIsRefusedWithTheInformationBox) {
  wchar_t windir[MAX_PATH] = {};
  ASSERT_NE(::GetEnvironmentVariableW(L"windir", windir, MAX_PATH), 0u);
  const HWND box = ChooseFolder(windir);
  ASSERT_NE(box, nullptr) << "no box for the running system's own folder";
  EXPECT_EQ(MessageBoxText(box),
            L"The path you have chosen is the current Windows path.\r\n"
            L"\r\n"
            L"If you are using Ravlin to fix a system where Windows\r\n"
            L"is already loading, then you've missed the entire purpose!\r\n"
            L"Please select a new Windows path or simply give it up!");
  EXPECT_NE(MessageBoxIcon(box), nullptr);

  Press(::GetDlgItem(box, IDOK));
  EXPECT_TRUE(Shows(ControlId::Label3, L"Idle"));
  CloseAndExpectExitCode(1);
}

}  // namespace
}  // namespace ravlin

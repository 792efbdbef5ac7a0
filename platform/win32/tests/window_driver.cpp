#include "platform/win32/tests/window_driver.hpp"

#include "platform/win32/runtime/win32_handles.hpp"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace ravlin::window_driver {
namespace {

constexpr UINT kAnswerMilliseconds = 5000;
constexpr auto kPollInterval = 20ms;

// Memory in another process, released with it.
class RemoteMemory {
 public:
  RemoteMemory(HANDLE process, std::size_t size)
      : process_(process),
        address_(
            ::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;
  ~RemoteMemory() {
    if (address_ != nullptr) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  void* Address() const { return address_; }

 private:
  HANDLE process_;
  void* address_;
};

struct WindowSearch {
  DWORD processId;
  std::wstring className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM search) {
  auto& wanted = *reinterpret_cast<WindowSearch*>(search);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == wanted.processId && ClassOf(window) == wanted.className)
    wanted.found.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM children) {
  reinterpret_cast<std::vector<HWND>*>(children)->push_back(window);
  return TRUE;
}

}  // namespace

DrivenProcess::DrivenProcess(const std::wstring& commandLine,
                             const std::filesystem::path& workingFolder) {
  std::wstring writable = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.c_str(), &startup, &information_))
    throw std::runtime_error("cannot start the program under test, error " +
                             std::to_string(::GetLastError()));
}

DrivenProcess::~DrivenProcess() {
  if (::WaitForSingleObject(information_.hProcess, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(information_.hProcess, 1);
    ::WaitForSingleObject(information_.hProcess, 5000);
  }
  ::CloseHandle(information_.hThread);
  ::CloseHandle(information_.hProcess);
}

std::optional<DWORD> DrivenProcess::WaitForExit(std::chrono::milliseconds patience) {
  if (::WaitForSingleObject(information_.hProcess, static_cast<DWORD>(patience.count())) !=
      WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  if (!::GetExitCodeProcess(information_.hProcess, &code)) return std::nullopt;
  return code;
}

std::vector<HWND> WindowsOfProcess(DWORD processId, const std::wstring& className) {
  WindowSearch search{processId, className, {}};
  ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? length : 0);
}

std::optional<std::wstring> TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMilliseconds,
                             &length))
    return std::nullopt;
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kAnswerMilliseconds, &copied))
    return std::nullopt;
  text.resize(copied);
  return text;
}

std::vector<std::wstring> ChildTexts(HWND parent, const std::wstring& className) {
  std::vector<std::wstring> texts;
  for (HWND child : Children(parent))
    if (ClassOf(child) == className) texts.push_back(TextOf(child).value_or(L""));
  return texts;
}

HWND ChildWithText(HWND parent, const std::wstring& className, const std::wstring& text) {
  for (HWND child : Children(parent))
    if (ClassOf(child) == className && TextOf(child) == text) return child;
  return nullptr;
}

namespace {

DWORD StyleOf(HWND window) {
  return static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
}

bool IsIconLabel(HWND window) {
  return ClassOf(window) == L"Static" && (StyleOf(window) & SS_TYPEMASK) == SS_ICON;
}

}  // namespace

std::wstring MessageBoxText(HWND box) {
  for (HWND child : Children(box))
    if (ClassOf(child) == L"Static" && !IsIconLabel(child)) return TextOf(child).value_or(L"");
  return {};
}

HICON MessageBoxIcon(HWND box) {
  for (HWND child : Children(box))
    if (IsIconLabel(child))
      return reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
  return nullptr;
}

std::wstring DefaultButtonText(HWND dialog) {
  for (HWND child : Children(dialog))
    if (ClassOf(child) == L"Button" && (StyleOf(child) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      return TextOf(child).value_or(L"");
  return {};
}

void Press(HWND button) {
  ::PostMessageW(button, BM_CLICK, 0, 0);
}

bool SendAndWait(HWND window, UINT message) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kAnswerMilliseconds,
                               &result) != 0;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

HWND WaitForWindow(DWORD processId, const std::wstring& className,
                   const std::function<bool(HWND)>& accept, std::chrono::milliseconds patience) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : WindowsOfProcess(processId, className)) {
          if (::IsWindowVisible(window) && (!accept || accept(window))) {
            found = window;
            return true;
          }
        }
        return false;
      },
      patience);
  return found;
}

HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& accept,
                   std::chrono::milliseconds patience) {
  return WaitForWindow(
      processId, L"#32770",
      [&accept](HWND dialog) {
        if (accept && !accept(dialog)) return false;
        if (TextOf(dialog).value_or(L"").empty()) return false;
        const auto buttons = ChildTexts(dialog, L"Button");
        return std::any_of(buttons.begin(), buttons.end(),
                           [](const std::wstring& text) { return !text.empty(); });
      },
      patience);
}

bool SelectFolder(HWND dialog, DWORD processId, const std::filesystem::path& folder) {
  const UniqueHandle process(
      ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId));
  HWND tree = nullptr;
  for (HWND child : Children(dialog))
    if (ClassOf(child) == L"SysTreeView32") tree = child;
  if (!process.Valid() || tree == nullptr) return false;
  const std::wstring path = folder.wstring();
  const std::size_t pathSize = (path.size() + 1) * sizeof(wchar_t);
  constexpr int kNameLength = MAX_PATH;
  // The path for the dialog, then room for the selected item and its name.
  const RemoteMemory remote(process.Get(),
                            pathSize + sizeof(TVITEMW) + kNameLength * sizeof(wchar_t));
  if (remote.Address() == nullptr ||
      !::WriteProcessMemory(process.Get(), remote.Address(), path.c_str(), pathSize, nullptr))
    return false;
  auto* const remoteItem = static_cast<char*>(remote.Address()) + pathSize;
  auto* const remoteName = reinterpret_cast<wchar_t*>(remoteItem + sizeof(TVITEMW));

  // The name of the folder the tree shows as selected, read back from the other process.
  const auto selectedName = [&]() -> std::wstring {
    DWORD_PTR item = 0;
    if (!::SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG,
                               kAnswerMilliseconds, &item) ||
        item == 0)
      return {};
    TVITEMW request{};
    request.mask = TVIF_TEXT;
    request.hItem = reinterpret_cast<HTREEITEM>(item);
    request.pszText = remoteName;
    request.cchTextMax = kNameLength;
    DWORD_PTR answered = 0;
    if (!::WriteProcessMemory(process.Get(), remoteItem, &request, sizeof(request), nullptr) ||
        !::SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remoteItem),
                               SMTO_ABORTIFHUNG, kAnswerMilliseconds, &answered))
      return {};
    wchar_t name[kNameLength] = {};
    if (!::ReadProcessMemory(process.Get(), remoteName, name, sizeof(name) - sizeof(wchar_t),
                             nullptr))
      return {};
    return name;
  };
  // The dialog may still be filling its tree, which moves the selection: asked again until
  // the folder stays selected.
  return WaitUntil([&] {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(dialog, BFFM_SETSELECTIONW, TRUE,
                          reinterpret_cast<LPARAM>(remote.Address()), SMTO_ABORTIFHUNG,
                          kAnswerMilliseconds, &result);
    return selectedName() == folder.filename().wstring();
  });
}

bool SaveWindowPicture(HWND window, const std::filesystem::path& file) {
  RECT frame{};
  if (!::GetWindowRect(window, &frame)) return false;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return false;
  const HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HBITMAP picture = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (memory != nullptr && picture != nullptr) {
    const HGDIOBJ previous = ::SelectObject(memory, picture);
    if (::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY)) {
      ::GdiFlush();
      const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
      const DWORD size = stride * static_cast<DWORD>(height);
      BITMAPFILEHEADER header{};
      header.bfType = 0x4D42;  // "BM"
      header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
      header.bfSize = header.bfOffBits + size;
      std::ofstream out(file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(&header), sizeof header);
      out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
      out.write(static_cast<const char*>(bits), size);
      saved = static_cast<bool>(out);
    }
    ::SelectObject(memory, previous);
  }
  if (picture != nullptr) ::DeleteObject(picture);
  if (memory != nullptr) ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace ravlin::window_driver

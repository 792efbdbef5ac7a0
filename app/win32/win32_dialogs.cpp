#include "app/win32/win32_dialogs.hpp"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/ui.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// The shell's dialogs want COM on the calling thread; it stays as it was found.
class ComApartment {
 public:
  ComApartment() : result_(::CoInitialize(nullptr)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

struct ItemIdListFree {
  void operator()(ITEMIDLIST* list) const { ::CoTaskMemFree(list); }
};
using ItemIdList = std::unique_ptr<ITEMIDLIST, ItemIdListFree>;

constexpr int kReportTextId = 100;
// The report dialog's first size and its smallest, in dialog units.
constexpr short kReportWidth = 360;
constexpr short kReportHeight = 260;
constexpr LONG kReportMinimumWidth = 160;
constexpr LONG kReportMinimumHeight = 100;
// Margins and the button's size, in dialog units.
constexpr LONG kMargin = 7;
constexpr LONG kButtonWidth = 50;
constexpr LONG kButtonHeight = 14;

// A dialog template without controls (they are made when the dialog starts): the dialog
// font, a caption, a sizing border.
std::vector<WORD> ReportTemplate(const std::wstring& title) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  DLGTEMPLATE header{};
  header.style =
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
  header.cx = kReportWidth;
  header.cy = kReportHeight;
  std::memcpy(words.data(), &header, sizeof header);
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  words.insert(words.end(), title.begin(), title.end());
  words.push_back(0);
  words.push_back(8);  // point size
  for (const wchar_t c : std::wstring_view(L"MS Shell Dlg")) words.push_back(c);
  words.push_back(0);
  return words;
}

// A rectangle in dialog units as pixels of `dialog`.
RECT DialogUnits(HWND dialog, LONG left, LONG top, LONG right, LONG bottom) {
  RECT rect{left, top, right, bottom};
  ::MapDialogRect(dialog, &rect);
  return rect;
}

// The text fills the dialog above the OK button, which sits at the bottom right.
void LayOutReport(HWND dialog) {
  RECT client{};
  ::GetClientRect(dialog, &client);
  const RECT margin = DialogUnits(dialog, 0, 0, kMargin, kMargin);
  const RECT button = DialogUnits(dialog, 0, 0, kButtonWidth, kButtonHeight);
  const int buttonLeft = client.right - margin.right - button.right;
  const int buttonTop = client.bottom - margin.bottom - button.bottom;
  ::MoveWindow(::GetDlgItem(dialog, IDOK), buttonLeft, buttonTop, button.right, button.bottom,
               TRUE);
  ::MoveWindow(::GetDlgItem(dialog, kReportTextId), margin.right, margin.bottom,
               std::max<int>(0, client.right - 2 * margin.right),
               std::max<int>(0, buttonTop - 2 * margin.bottom), TRUE);
}

void StartReport(HWND dialog, const std::wstring& text) {
  const auto font = ::SendMessageW(dialog, WM_GETFONT, 0, 0);
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const HWND box = ::CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
          ES_AUTOVSCROLL | ES_AUTOHSCROLL,
      0, 0, 0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kReportTextId)), instance,
      nullptr);
  const HWND ok =
      ::CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                        0, 0, 0, 0, dialog, reinterpret_cast<HMENU>(IDOK), instance, nullptr);
  for (const HWND control : {box, ok}) ::SendMessageW(control, WM_SETFONT, font, FALSE);
  // A multi-line box takes 32 KiB of text unless told more.
  ::SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowTextW(box, text.c_str());
  LayOutReport(dialog);
  ::SetFocus(box);
  ::SendMessageW(box, EM_SETSEL, 0, 0);
}

INT_PTR CALLBACK ReportProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      StartReport(dialog, *reinterpret_cast<const std::wstring*>(lParam));
      return FALSE;  // the focus is set
    case WM_SIZE:
      LayOutReport(dialog);
      return TRUE;
    case WM_GETMINMAXINFO: {
      const RECT smallest = DialogUnits(dialog, 0, 0, kReportMinimumWidth, kReportMinimumHeight);
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {smallest.right, smallest.bottom};
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, int style, const std::string& title) {
  const UINT modality = owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL;
  const UINT flags = static_cast<UINT>(style) | modality;
  const int answer = ::MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), flags);
  // A box that could not be shown was answered by nobody: treated as the close box.
  return answer != 0 ? answer : mb::kIdCancel;
}

std::optional<std::filesystem::path> ShowFolderDialog(HWND owner, const std::string& prompt) {
  const ComApartment apartment;
  const std::wstring title = Wide(prompt);
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  const ItemIdList chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return std::nullopt;
  std::array<wchar_t, MAX_PATH> path{};
  if (!::SHGetPathFromIDListW(chosen.get(), path.data()) || path[0] == L'\0') return std::nullopt;
  return std::filesystem::path(std::wstring(path.data()));
}

std::optional<std::filesystem::path> ShowFileDialog(HWND owner, const std::string& prompt) {
  // comdlg32.dll is not among the program's load-time imports.
  const SystemLibrary dialogs(L"comdlg32.dll");
  using GetOpenFileNameCall = BOOL(WINAPI*)(OPENFILENAMEW*);
  const auto getOpenFileName = dialogs.Find<GetOpenFileNameCall>("GetOpenFileNameW");
  if (getOpenFileName == nullptr) return std::nullopt;
  const std::wstring title = Wide(prompt);
  // Pairs of a name and its patterns, ending in an empty pair.
  static constexpr wchar_t kFilter[] =
      L"Disk images\0*.img;*.raw;*.qcow2;*.vmdk;*.vhd;*.vhdx;*.vdi\0All files\0*.*\0";
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW info{};
  info.lStructSize = sizeof info;
  info.hwndOwner = owner;
  info.lpstrFilter = kFilter;
  info.lpstrFile = file.data();
  info.nMaxFile = static_cast<DWORD>(file.size());
  info.lpstrTitle = title.c_str();
  info.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!getOpenFileName(&info) || file[0] == L'\0') return std::nullopt;
  return std::filesystem::path(std::wstring(file.data()));
}

void ShowReportDialog(HWND owner, const std::string& text, const std::string& title) {
  const std::wstring wideText = Wide(text);
  const std::vector<WORD> dialog = ReportTemplate(Wide(title));
  const INT_PTR shown = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner,
      ReportProcedure, reinterpret_cast<LPARAM>(&wideText));
  // Where no dialog can be made, the report still reaches the user.
  if (shown == -1 || shown == 0) ShowMessageBox(owner, text, mb::kInformation, title);
}

}  // namespace ravlin

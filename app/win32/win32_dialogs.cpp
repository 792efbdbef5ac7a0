#include "app/win32/win32_dialogs.hpp"

#include <objbase.h>
#include <shlobj.h>

#include <array>
#include <memory>

#include "platform/ui.hpp"
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

}  // namespace ravlin

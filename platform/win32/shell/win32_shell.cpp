#include "platform/win32/shell/win32_shell.hpp"

#include <windows.h>
// After windows.h, which they build on.
#include <objbase.h>
#include <shellapi.h>

#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// COM for this thread while the shell hands the verb to its extensions, as ShellExecuteEx
// asks; undone only when it was done here.
class ComApartment {
 public:
  ComApartment()
      : initialized_(SUCCEEDED(
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialized_) ::CoUninitialize();
  }

 private:
  bool initialized_;
};

}  // namespace

void Win32Shell::ShowProperties(const std::string& path) {
  const ComApartment apartment;
  const std::wstring file = Wide(path);
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  // The shell's own item menu carries the verb; no UI of ours for an error.
  execute.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"properties";
  execute.lpFile = file.c_str();
  execute.nShow = SW_SHOWNORMAL;
  ::ShellExecuteExW(&execute);
}

}  // namespace ravlin

#pragma once

#include <filesystem>

#include "platform/win32/runtime/windows_api.hpp"

namespace ravlin {

// The running system's folders (GetSystemDirectoryW, GetWindowsDirectoryW); empty when the
// system cannot say.
std::filesystem::path SystemFolder();
std::filesystem::path WindowsFolder();

// Takes the current folder out of the DLL search where the system can (SetDllDirectoryW,
// XP SP1 and later, looked up at run time).
void KeepCurrentFolderOutOfDllSearch();

// A DLL of the system folder that the program does not import at load time, loaded by its
// full path (so a copy beside the program or in the current folder is never taken) and its
// own dependencies looked for beside it. Freed with the object.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName);
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;
  ~SystemLibrary();

  bool Loaded() const { return module_ != nullptr; }
  // The function of that name as a pointer of type `Pointer`, or null.
  template <typename Pointer>
  Pointer Find(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<Pointer>(reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace ravlin

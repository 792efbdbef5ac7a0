#pragma once

#include "platform/win32/runtime/windows_api.hpp"

#include <string>

#include "platform/win32/runtime/win32_handles.hpp"

namespace ravlin {

// The Windows folder a repair works on, shared by the services that change files. A junction
// or symbolic link below it (a reparse point) could lead a change out of it, so a change whose
// path passes one is refused (75) and writes nothing. The folder itself is held open without
// delete sharing, so that it cannot be renamed or swapped for a link while the repair runs.
// Paths elsewhere are reached as given.
class Win32GuestRoot {
 public:
  // An empty text confines nothing. Below a folder that cannot be held open every change fails
  // with the error that kept it closed.
  void Choose(const std::string& folder);

  // Throws unless a change of the entry `path` (a path text) may go ahead: every existing
  // folder between the chosen folder and the entry must be a plain folder, and the entry
  // itself too when `entryToo` (a write through a link would land elsewhere; deleting a link
  // only removes the link).
  void CheckChange(const std::string& path, bool entryToo) const;

 private:
  std::wstring upperRoot_;  // the chosen folder's long full path in capitals, no final '\'
  UniqueHandle held_;
  DWORD error_ = ERROR_SUCCESS;
};

// Deletes one file, never a folder (53), refused where the guest says so; a missing file is 53.
void DeleteFileBeneath(const Win32GuestRoot& guest, const std::string& path);

}  // namespace ravlin

#pragma once

#include "platform/win32/runtime/windows_api.hpp"

#include <utility>

namespace ravlin {

// Owns a kernel handle of the kind that `Release` closes (CloseHandle, FindClose). Both null
// and INVALID_HANDLE_VALUE mean no handle, since the calls that open them disagree.
template <BOOL(WINAPI* Release)(HANDLE)>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(ScopedHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Reset(); }

  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  // Closes now, reporting whether the system could (a failed flush shows here).
  bool Close() {
    return !Valid() || Release(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
  }

 private:
  void Reset() {
    if (Valid()) Release(std::exchange(handle_, INVALID_HANDLE_VALUE));
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using UniqueHandle = ScopedHandle<CloseHandle>;
using FindHandle = ScopedHandle<FindClose>;

// Keeps the system from asking the user to insert a disk while a drive is probed; the
// previous mode comes back when the probe ends.
class QuietDriveErrors {
 public:
  QuietDriveErrors() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {
    ::SetErrorMode(previous_ | SEM_FAILCRITICALERRORS);
  }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;
  ~QuietDriveErrors() { ::SetErrorMode(previous_); }

 private:
  UINT previous_;
};

}  // namespace ravlin

#pragma once

#include "platform/win32/runtime/windows_api.hpp"

#include <utility>

namespace ravlin {

// Owns a kernel handle of the kind that `Release` closes (CloseHandle, FindClose). Both null
// and INVALID_HANDLE_VALUE mean no handle, since the calls that open them disagree; Get()
// gives null for none, which is what the calls that take an optional handle expect.
template <BOOL(WINAPI* Release)(HANDLE)>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle)
      : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Reset(); }

  bool Valid() const { return handle_ != nullptr; }
  HANDLE Get() const { return handle_; }
  // Closes now, reporting whether the system could (a failed flush shows here).
  bool Close() { return !Valid() || Release(std::exchange(handle_, nullptr)) != FALSE; }

 private:
  void Reset() {
    if (Valid()) Release(std::exchange(handle_, nullptr));
  }

  HANDLE handle_ = nullptr;
};

using UniqueHandle = ScopedHandle<CloseHandle>;
using FindHandle = ScopedHandle<FindClose>;

// A critical section (the lock XP offers; this thread model has no std::mutex).
class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { ::DeleteCriticalSection(&section_); }

  void Enter() { ::EnterCriticalSection(&section_); }
  void Leave() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

// Holds a critical section for one scope.
class CriticalLock {
 public:
  explicit CriticalLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  CriticalLock(const CriticalLock&) = delete;
  CriticalLock& operator=(const CriticalLock&) = delete;
  ~CriticalLock() { section_.Leave(); }

 private:
  CriticalSection& section_;
};

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

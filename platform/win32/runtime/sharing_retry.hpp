#pragma once

#include "platform/win32/runtime/windows_api.hpp"

namespace ravlin {

// How long a file held open by another program is waited for, and how often it is tried.
inline constexpr DWORD kSharingWaitMs = 5000;
inline constexpr DWORD kSharingRetryMs = 100;

// Runs `attempt` (a Windows error code back, ERROR_SUCCESS when done) again while another
// program holds the file open (a sharing or lock violation), for up to kSharingWaitMs: an
// antivirus scanner or a backup program holds a file it has just seen for a moment.
template <typename Attempt>
DWORD RetriedWhileShared(Attempt attempt) {
  for (DWORD waited = 0;; waited += kSharingRetryMs) {
    const DWORD error = attempt();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        waited >= kSharingWaitMs)
      return error;
    ::Sleep(kSharingRetryMs);
  }
}

// The same for a call that reports failure by FALSE and GetLastError.
template <typename Call>
bool SucceededWhileShared(Call call) {
  const DWORD error =
      RetriedWhileShared([&]() -> DWORD { return call() ? ERROR_SUCCESS : ::GetLastError(); });
  ::SetLastError(error);
  return error == ERROR_SUCCESS;
}

}  // namespace ravlin

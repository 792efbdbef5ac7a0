#include "platform/win32/processes/win32_processes.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {

Handle Win32TopLevelWindows::FindWindowA(const std::string& className,
                                         const std::string& windowName) {
  const std::wstring wideClass = Wide(className);
  const std::wstring wideName = Wide(windowName);
  if (className.empty() && windowName.empty()) return 0;
  return reinterpret_cast<Handle>(::FindWindowW(className.empty() ? nullptr : wideClass.c_str(),
                                                windowName.empty() ? nullptr : wideName.c_str()));
}

std::uint32_t Win32TopLevelWindows::GetWindowThreadProcessId(Handle window,
                                                             std::uint32_t& processId) {
  DWORD owner = 0;
  const DWORD thread =
      window == 0 ? 0 : ::GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner);
  processId = thread == 0 ? 0 : owner;
  return thread;
}

}  // namespace ravlin

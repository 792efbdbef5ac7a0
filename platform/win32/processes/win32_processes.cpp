#include "platform/win32/processes/win32_processes.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/last_line.hpp"
#include "platform/runtime_error.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/runtime/win32_errors.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

// How often the watching thread looks into the pipe while the process runs; the end itself
// wakes it at once.
constexpr DWORD kPipeLookMs = 20;

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// The program name of a command line as CreateProcessW reads it: up to the closing quote
// when it opens with one, else up to the first blank.
std::wstring ProgramNameOf(const std::wstring& commandLine) {
  if (!commandLine.empty() && commandLine.front() == L'"')
    return commandLine.substr(1, commandLine.find(L'"', 1) - 1);
  return commandLine.substr(
      0, std::find_if(commandLine.begin(), commandLine.end(), IsBlank) - commandLine.begin());
}

bool IsBareName(const std::wstring& program) {
  return !program.empty() && program.find_first_of(L"\\/:") == std::wstring::npos;
}

// The registry editor by a bare name ("regedit", "REGEDIT.EXE"): the elevated repair starts
// the system's own, never a program of that name in the program or the current folder.
bool NamesRegistryEditor(const std::wstring& program) {
  std::wstring lower = program;
  for (wchar_t& c : lower)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return IsBareName(program) && (lower == L"regedit" || lower == L"regedit.exe");
}

// The program folder's copy of a bare program name ("tool", "tool.exe"), if it has one.
std::wstring InProgramFolder(const std::wstring& program, const std::filesystem::path& folder) {
  if (!IsBareName(program)) return {};
  wchar_t found[MAX_PATH];
  const DWORD length =
      ::SearchPathW(folder.c_str(), program.c_str(), L".exe", MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(found, length);
}

void PassOnToStandardError(const char* bytes, DWORD size) {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  while (size > 0 && error != nullptr && error != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    if (!::WriteFile(error, bytes, size, &written, nullptr) || written == 0) return;
    bytes += written;
    size -= written;
  }
}

// Passes on what the pipe holds now (a bounded amount, so that a writer that never pauses
// cannot keep the end from being seen); false once every writer has closed it.
bool PassOnAvailable(HANDLE pipe, LastLine& last) {
  char buffer[4096];
  for (int round = 0; round < 64; ++round) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    DWORD size = 0;
    if (!::ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &size, nullptr))
      return false;
    PassOnToStandardError(buffer, size);
    last.Add(std::string_view(buffer, size));
  }
  return true;
}

// What the watching thread owns.
struct Watch {
  std::shared_ptr<Win32Processes::Child> child;
  UniqueHandle pipe;
};

DWORD WINAPI WatchChild(LPVOID parameter) {
  const std::unique_ptr<Watch> watch(static_cast<Watch*>(parameter));
  Win32Processes::Child& child = *watch->child;
  const HANDLE pipe = watch->pipe.Get();
  LastLine last;
  bool pipeOpen = true;
  do {
    pipeOpen = pipeOpen && PassOnAvailable(pipe, last);
  } while (::WaitForSingleObject(child.process.Get(), pipeOpen ? kPipeLookMs : INFINITE) ==
           WAIT_TIMEOUT);
  // What the process wrote before it ended is all in the pipe by now.
  if (pipeOpen) pipeOpen = PassOnAvailable(pipe, last);
  child.lastErrorLine = last.Get();
  ::SetEvent(child.ended.Get());
  // A process it left behind may still write to the same pipe.
  char buffer[4096];
  DWORD size = 0;
  while (pipeOpen && ::ReadFile(pipe, buffer, sizeof buffer, &size, nullptr))
    PassOnToStandardError(buffer, size);
  return 0;
}

// One of our standard handles as the child should inherit it, or none.
UniqueHandle InheritableCopy(DWORD which) {
  const HANDLE own = ::GetStdHandle(which);
  HANDLE copy = nullptr;
  if (own == nullptr || own == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), own, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
    return {};
  return UniqueHandle(copy);
}

// The handle whose signal means the child's end for the caller.
HANDLE EndOf(const Win32Processes::Child& child) {
  return child.ended.Valid() ? child.ended.Get() : child.process.Get();
}

bool HasEnded(HANDLE process) {
  return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

}  // namespace

Win32Processes::Win32Processes(std::filesystem::path programFolder)
    : programFolder_(std::move(programFolder)) {}

// Children still running keep their watching threads, which end with the pipe.
Win32Processes::~Win32Processes() = default;

std::shared_ptr<Win32Processes::Child> Win32Processes::Start(const std::string& commandLine,
                                                             int windowStyle) {
  std::wstring line = Wide(commandLine);
  const std::wstring program = ProgramNameOf(line);
  if (program.empty()) throw RuntimeError(vb_error::kInvalidProcedureCall);
  const std::wstring application = NamesRegistryEditor(program)
                                       ? (WindowsFolder() / L"regedit.exe").wstring()
                                       : InProgramFolder(program, programFolder_);

  auto child = std::make_shared<Child>();
  // The child's standard error goes through a pipe of ours (without one, straight to ours).
  // Only the child's end is inheritable, and only while the process is made.
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  UniqueHandle pipe, childEnd;
  if (::CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
    pipe = UniqueHandle(readEnd);
    const UniqueHandle ownEnd(writeEnd);
    HANDLE inheritable = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), writeEnd, ::GetCurrentProcess(), &inheritable, 0,
                          TRUE, DUPLICATE_SAME_ACCESS))
      childEnd = UniqueHandle(inheritable);
    child->ended = UniqueHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  }
  const bool watched = childEnd.Valid() && child->ended.Valid();
  if (!watched) child->ended = UniqueHandle();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(windowStyle);
  const UniqueHandle input = InheritableCopy(STD_INPUT_HANDLE);
  const UniqueHandle output = InheritableCopy(STD_OUTPUT_HANDLE);
  const UniqueHandle error = watched ? UniqueHandle() : InheritableCopy(STD_ERROR_HANDLE);
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = output.Get();
  startup.hStdError = watched ? childEnd.Get() : error.Get();

  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                        nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    const DWORD failure = ::GetLastError();
    // A program that is not there, by name or by folder, is a file not found.
    throw RuntimeError(failure == ERROR_PATH_NOT_FOUND ? vb_error::kFileNotFound
                                                       : ClassicErrorNumber(failure));
  }
  const UniqueHandle thread(started.hThread);
  child->process = UniqueHandle(started.hProcess);
  child->pid = started.dwProcessId;
  if (watched) {
    auto watch = std::make_unique<Watch>(Watch{child, std::move(pipe)});
    if (const UniqueHandle watcher(::CreateThread(nullptr, 0, WatchChild, watch.get(), 0, nullptr));
        watcher.Valid())
      static_cast<void>(watch.release());
    else
      child->ended = UniqueHandle();
  }
  return child;
}

std::uint32_t Win32Processes::StartProcess(const std::string& commandLine, int windowStyle) {
  // One start at a time: no other child inherits this one's end of the pipe.
  CriticalLock lock(lock_);
  const auto child = Start(commandLine, windowStyle);
  children_[child->pid] = child;
  return child->pid;
}

Handle Win32Processes::OpenProcess(std::uint32_t desiredAccess, bool inheritHandle,
                                   std::uint32_t processId) {
  if (processId == 0) return 0;
  CriticalLock lock(lock_);
  Opened opened;
  HANDLE process = nullptr;
  if (const auto found = children_.find(processId); found != children_.end()) {
    opened.child = found->second;
    if (!::DuplicateHandle(::GetCurrentProcess(), opened.child->process.Get(),
                           ::GetCurrentProcess(), &process, 0, inheritHandle,
                           DUPLICATE_SAME_ACCESS))
      return 0;
  } else {
    // Waiting needs SYNCHRONIZE; without it the handle still answers the rest.
    process = ::OpenProcess(desiredAccess | SYNCHRONIZE, inheritHandle, processId);
    if (process == nullptr) process = ::OpenProcess(desiredAccess, inheritHandle, processId);
    if (process == nullptr) return 0;
  }
  opened.process = std::make_shared<const UniqueHandle>(process);
  const auto handle = reinterpret_cast<Handle>(process);
  handles_.insert_or_assign(handle, std::move(opened));
  return handle;
}

std::unique_ptr<Win32Processes::Opened> Win32Processes::Find(Handle handle) {
  CriticalLock lock(lock_);
  const auto found = handles_.find(handle);
  return found == handles_.end() ? nullptr : std::make_unique<Opened>(found->second);
}

bool Win32Processes::GetExitCodeProcess(Handle process, std::uint32_t& exitCode) {
  const auto opened = Find(process);
  if (!opened) return false;
  if (opened->child && !HasEnded(EndOf(*opened->child))) {
    exitCode = kStillActive;
    return true;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(opened->process->Get(), &code)) return false;
  exitCode = code;
  return true;
}

bool Win32Processes::WaitForProcess(Handle process, std::uint32_t milliseconds) {
  const DWORD start = ::GetTickCount();
  if (const auto opened = Find(process)) {
    const HANDLE waitOn = opened->child ? EndOf(*opened->child) : opened->process->Get();
    const DWORD result = ::WaitForSingleObject(waitOn, milliseconds);
    if (result == WAIT_OBJECT_0) return true;
    if (result == WAIT_TIMEOUT) return false;
  }
  // A handle that cannot be waited on: the time passes all the same.
  const DWORD spent = ::GetTickCount() - start;
  if (spent < milliseconds) ::Sleep(milliseconds - spent);
  return false;
}

std::string Win32Processes::LastErrorLine(Handle process) {
  const auto opened = Find(process);
  if (!opened || !opened->child || !opened->child->ended.Valid() ||
      !HasEnded(opened->child->ended.Get()))
    return {};
  return opened->child->lastErrorLine;
}

bool Win32Processes::TerminateProcess(Handle process, std::uint32_t exitCode) {
  const auto opened = Find(process);
  // A process that has already ended is not ended again.
  return opened && !HasEnded(opened->process->Get()) &&
         ::TerminateProcess(opened->process->Get(), exitCode) != FALSE;
}

bool Win32Processes::CloseHandle(Handle handle) {
  CriticalLock lock(lock_);
  const auto found = handles_.find(handle);
  if (found == handles_.end()) return false;
  const std::shared_ptr<Child> child = std::move(found->second.child);
  handles_.erase(found);
  if (child) ForgetIfUnused(child);
  return true;
}

void Win32Processes::ForgetIfUnused(const std::shared_ptr<Child>& child) {
  if (!HasEnded(EndOf(*child))) return;
  const bool stillOpen = std::any_of(handles_.begin(), handles_.end(), [&](const auto& entry) {
    return entry.second.child == child;
  });
  if (!stillOpen) children_.erase(child->pid);
}

}  // namespace ravlin

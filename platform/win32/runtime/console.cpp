// The program's entry on Windows: its arguments, the console it was started from, and the
// standard streams in Unicode on a console.
#include <windows.h>
// After windows.h, which they build on.
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "platform/backend.hpp"
#include "platform/win32/runtime/system_library.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* words) const { ::LocalFree(words); }
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != FALSE;
}

bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The length of `text` without an incomplete UTF-8 sequence at its end.
std::size_t CompleteLength(std::string_view text) {
  std::size_t lead = text.size();
  while (lead > 0 && text.size() - lead < 3 &&
         (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead == 0) return text.size();
  const auto first = static_cast<unsigned char>(text[lead - 1]);
  const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
  return text.size() - (lead - 1) < length ? lead - 1 : text.size();
}

// Writes the program's UTF-8 text to a console as characters (WriteConsoleW), so that it
// reads right whatever the console's code page; a line at a time.
class ConsoleWriter : public std::streambuf {
 public:
  explicit ConsoleWriter(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n') Flush();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    const std::string_view added(text, static_cast<std::size_t>(size));
    pending_ += added;
    if (added.find('\n') != std::string_view::npos) Flush();
    return size;
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  void Flush() {
    const std::size_t complete = CompleteLength(pending_);
    const std::wstring wide = Wide(std::string_view(pending_).substr(0, complete));
    pending_.erase(0, complete);
    for (std::size_t at = 0; at < wide.size();) {
      DWORD written = 0;
      const auto piece = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
      if (!::WriteConsoleW(console_, wide.data() + at, piece, &written, nullptr) || written == 0)
        return;
      at += written;
    }
  }

  HANDLE console_;
  std::string pending_;
};

// Reads a console's characters (ReadConsoleW) as UTF-8 text with plain line ends; Ctrl+Z at
// the start of a read ends the input, as it does for the command prompt.
class ConsoleReader : public std::streambuf {
 public:
  explicit ConsoleReader(HANDLE console) : console_(console) {}

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    wchar_t wide[1024];
    DWORD read = 0;
    if (!::ReadConsoleW(console_, wide, 1024, &read, nullptr) || read == 0 || wide[0] == 0x1A)
      return traits_type::eof();
    text_.clear();
    for (const char c : Narrow(std::wstring_view(wide, read)))
      if (c != '\r') text_ += c;
    if (text_.empty()) return underflow();
    setg(text_.data(), text_.data(), text_.data() + text_.size());
    return traits_type::to_int_type(*gptr());
  }

 private:
  HANDLE console_;
  std::string text_;
};

// A standard stream switched to a console for the rest of the run; its first buffer comes
// back before the stream's own end, which still flushes it.
template <typename Buffer, typename Stream>
class SwitchedStream {
 public:
  SwitchedStream(Stream& stream, HANDLE console)
      : stream_(stream), buffer_(console), previous_(stream.rdbuf(&buffer_)) {}
  SwitchedStream(const SwitchedStream&) = delete;
  SwitchedStream& operator=(const SwitchedStream&) = delete;
  ~SwitchedStream() {
    buffer_.pubsync();
    stream_.rdbuf(previous_);
  }

 private:
  Stream& stream_;
  Buffer buffer_;
  std::streambuf* previous_;
};

// One standard stream: its handle, its C stream, and the console device it opens on.
struct Standard {
  DWORD which;
  FILE* file;
  const char* device;
  const char* mode;
};

// The stream's handle, reopened onto the console when it has none of its own.
HANDLE Connect(const Standard& standard, bool attached) {
  HANDLE handle = ::GetStdHandle(standard.which);
  if (Usable(handle) || !attached) return handle;
  if (std::freopen(standard.device, standard.mode, standard.file) == nullptr) return nullptr;
  handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(standard.file)));
  ::SetStdHandle(standard.which, handle);
  return handle;
}

}  // namespace

bool StandardInputIsTerminal() {
  return IsConsole(::GetStdHandle(STD_INPUT_HANDLE));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> words(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!words) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Narrow(words.get()[i]));
  return arguments;
}

void AttachToStartingConsole() {
  // The program's first call: no DLL it loads from now on comes from the current folder.
  KeepCurrentFolderOutOfDllSearch();
  // XP has AttachConsole; Windows 2000 does not, and the program then just has no console.
  using AttachConsoleCall = BOOL(WINAPI*)(DWORD);
  const auto attachConsole = reinterpret_cast<AttachConsoleCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "AttachConsole")));
  const bool attached = ::GetConsoleWindow() == nullptr && attachConsole != nullptr &&
                        attachConsole(ATTACH_PARENT_PROCESS) != FALSE;

  const HANDLE input = Connect({STD_INPUT_HANDLE, stdin, "CONIN$", "r"}, attached);
  const HANDLE output = Connect({STD_OUTPUT_HANDLE, stdout, "CONOUT$", "w"}, attached);
  const HANDLE error = Connect({STD_ERROR_HANDLE, stderr, "CONOUT$", "w"}, attached);
  // The switches last as long as the streams may be used: to the program's end.
  if (IsConsole(input)) static SwitchedStream<ConsoleReader, std::istream> in(std::cin, input);
  if (IsConsole(output)) static SwitchedStream<ConsoleWriter, std::ostream> out(std::cout, output);
  if (IsConsole(error)) {
    static SwitchedStream<ConsoleWriter, std::ostream> err(std::cerr, error);
    static SwitchedStream<ConsoleWriter, std::ostream> log(std::clog, error);
  }
}

}  // namespace ravlin

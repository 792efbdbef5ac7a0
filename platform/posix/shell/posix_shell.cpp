#include "platform/posix/shell/posix_shell.hpp"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <thread>
#include <vector>

#include "platform/codepage.hpp"
#include "platform/posix/files/dos_attributes.hpp"

extern char** environ;

namespace ravlin {
namespace {

bool HasDesktop() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

std::string WithThousands(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string LocalTime(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string AttributeWords(std::uint16_t attributes) {
  std::string words;
  const auto add = [&](std::uint16_t bit, const char* word) {
    if ((attributes & bit) == 0) return;
    if (!words.empty()) words += ", ";
    words += word;
  };
  add(dos_attribute::kReadOnly, "read-only");
  add(dos_attribute::kHidden, "hidden");
  add(dos_attribute::kSystem, "system");
  add(dos_attribute::kArchive, "archive");
  return words.empty() ? "none" : words;
}

}  // namespace

std::string FileUri(const std::string& nativePath) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : nativePath) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0x0F];
    }
  }
  return uri;
}

PosixShell::PosixShell(std::shared_ptr<const DriveTable> drives, std::ostream& console)
    : drives_(std::move(drives)), console_(console) {}

void PosixShell::ShowProperties(const std::string& path) {
  const auto native = drives_->ResolveNative(path);
  if (native && HasDesktop() && AskFileManager(FileUri(native->string()))) return;
  PrintDetails(path);
}

bool PosixShell::AskFileManager(const std::string& uri) {
  std::vector<std::string> arguments{"gdbus",
                                     "call",
                                     "--session",
                                     "--dest",
                                     "org.freedesktop.FileManager1",
                                     "--object-path",
                                     "/org/freedesktop/FileManager1",
                                     "--method",
                                     "org.freedesktop.FileManager1.ShowItemProperties",
                                     "['" + uri + "']",
                                     ""};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (::posix_spawnp(&child, "gdbus", nullptr, nullptr, argv.data(), environ) != 0) return false;
  // Nobody waits for the window; a detached thread collects the finished process.
  std::thread([child] { ::waitpid(child, nullptr, 0); }).detach();
  return true;
}

void PosixShell::PrintDetails(const std::string& path) {
  console_ << "Properties of " << AnsiToUtf8(path) << '\n';
  const auto native = drives_->ResolveNative(path);
  struct stat status {};
  if (!native || ::stat(native->c_str(), &status) != 0) {
    console_ << "  File not found\n";
    console_.flush();
    return;
  }
  const bool folder = S_ISDIR(status.st_mode);
  console_ << "  Location:   " << native->string() << '\n'
           << "  Type:       " << (folder ? "Folder" : "File") << '\n';
  if (!folder)
    console_ << "  Size:       " << WithThousands(static_cast<std::uint64_t>(status.st_size))
             << " bytes\n";
  console_ << "  Modified:   " << LocalTime(status.st_mtime) << '\n'
           << "  Accessed:   " << LocalTime(status.st_atime) << '\n'
           << "  Attributes: " << AttributeWords(ReadDosAttributes(*native, status)) << '\n';
  console_.flush();
}

}  // namespace ravlin

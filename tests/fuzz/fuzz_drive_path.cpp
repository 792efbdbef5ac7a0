// The drive table's path conversion: a Windows path text never leads out of its drive's
// folder, and the Windows text of the result leads back to the same place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/codepage.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace fs = std::filesystem;

namespace {

// Two drives on a small tree in a temporary folder: names in several cases and scripts, so
// that the case-insensitive lookup has entries to find.
struct Drives {
  fs::path top;
  std::unique_ptr<ravlin::DriveTable> table;

  Drives() {
    std::string pattern = (fs::temp_directory_path() / "ravlin-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    top = pattern;
    for (const char* folder : {"c/WINDOWS/System32/CONFIG", "c/windows/system32/Drivers",
                               "c/Program Files/Übung", "c/Новый том/WINDOWS", "d/cd", "d/CD"})
      fs::create_directories(top / folder);
    table = std::make_unique<ravlin::DriveTable>("C=" + (top / "c").string() +
                                                 ";d=" + (top / "d").string() + "/");
  }
  Drives(const Drives&) = delete;
  Drives& operator=(const Drives&) = delete;
  ~Drives() {
    std::error_code error;
    fs::remove_all(top, error);
  }
};

bool Beneath(const fs::path& root, const fs::path& path) {
  const auto relative = path.lexically_relative(root);
  if (relative.empty()) return false;
  for (const auto& part : relative)
    if (part == "..") return false;
  return true;
}

// Every name converts to the ANSI code page and back unchanged.
bool AnsiCanName(const fs::path& path) {
  for (const auto& part : path)
    if (ravlin::AnsiToUtf8(ravlin::Utf8ToAnsi(part.string())) != part.string()) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Drives drives;
  // Path texts reach the conversion as C strings.
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.substr(0, text.find('\0'));

  const auto native = drives.table->ToNative(text);
  if (!native) return 0;
  const auto root = drives.table->RootOf(text[0]);
  if (!root || !Beneath(*root, *native)) std::abort();

  const std::string windows = drives.table->ToWindows(*native);
  // Z: is "/", which holds the other drives' folders: their letters win there.
  const char letter = static_cast<char>(text[0] & ~0x20);
  if (letter != 'Z' && windows.rfind(std::string{letter, ':', '\\'}, 0) != 0) std::abort();
  if (AnsiCanName(*native) && drives.table->ToNative(windows) != *native) std::abort();
  return 0;
}

// A guest hive made of any bytes, through the Linux registry as the repair uses it: mount it,
// walk its keys, add a key, unmount (which writes it back), then mount it again. A hive that
// is refused is an expected outcome; a hive that was accepted and changed must open again
// with the change in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/privilege_state.hpp"

namespace fs = std::filesystem;
using namespace ravlin;

namespace {

constexpr const char* kMount = "Ravlin_Fuzz";
constexpr const char* kHiveText = "C:\\WINDOWS\\system32\\config\\system";
constexpr int kMostKeysWalked = 500;

struct Guest {
  fs::path top;
  std::shared_ptr<const DriveTable> drives;
  std::shared_ptr<PrivilegeState> privileges = std::make_shared<PrivilegeState>();

  Guest() {
    std::string pattern = (fs::temp_directory_path() / "ravlin-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    top = pattern;
    drives = std::make_shared<DriveTable>("C=" + (top / "c").string());
    privileges->SetRestore(true);
    privileges->SetBackup(true);
  }
  Guest(const Guest&) = delete;
  Guest& operator=(const Guest&) = delete;
  ~Guest() {
    std::error_code error;
    fs::remove_all(top, error);
  }

  fs::path ConfigFolder() const { return top / "c" / "WINDOWS" / "system32" / "config"; }

  // A fresh guest folder and registry store holding `bytes` as the SYSTEM hive.
  void Reset(const std::uint8_t* bytes, std::size_t size) const {
    std::error_code error;
    fs::remove_all(top / "c", error);
    fs::remove_all(top / "store", error);
    fs::create_directories(ConfigFolder());
    std::ofstream(ConfigFolder() / "system", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  }

  std::unique_ptr<PosixRegistry> Registry() const {
    return std::make_unique<PosixRegistry>(top / "store", drives, privileges);
  }
};

// Enumerates the keys below `key` depth first, querying each key's default value, until
// `budget` keys have been seen: a damaged hive can hold a key that is its own subkey.
void Walk(ravlin::Registry& registry, RegKey key, int& budget) {
  if (--budget < 0) return;
  std::uint32_t size = 0;
  registry.RegQueryValueExA(key, "", nullptr, nullptr, &size);
  for (std::uint32_t index = 0; budget > 0; ++index) {
    std::string name;
    if (registry.RegEnumKeyA(key, index, name, 256) != kErrorSuccess) return;
    RegKey child = 0;
    if (registry.RegOpenKeyExA(key, name, 0, kKeyAllAccess, child) != kErrorSuccess) continue;
    Walk(registry, child, budget);
    registry.RegCloseKey(child);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Guest guest;
  guest.Reset(data, size);
  bool added = false;
  {
    auto registry = guest.Registry();
    if (registry->RegLoadKeyA(kHkeyLocalMachine, kMount, kHiveText) != kErrorSuccess) return 0;
    RegKey root = 0;
    if (registry->RegOpenKeyExA(kHkeyLocalMachine, kMount, 0, kKeyAllAccess, root) ==
        kErrorSuccess) {
      int budget = kMostKeysWalked;
      Walk(*registry, root, budget);
      RegKey key = 0;
      if (registry->RegCreateKeyExA(root, "RavlinFuzzAdded", "", 0, kKeyAllAccess, key, nullptr) ==
          kErrorSuccess) {
        const std::uint8_t value[] = {'o', 'k', 0};
        added = registry->RegSetValueExA(key, "Mark", kRegSz, value, sizeof value) == 0;
        added = registry->RegCloseKey(key) == kErrorSuccess && added;
      }
      added = registry->RegCloseKey(root) == kErrorSuccess && added;
    }
    if (registry->RegUnLoadKeyA(kHkeyLocalMachine, kMount) != kErrorSuccess) return 0;
  }
  // Whatever the unmount wrote back must open again, with the key that was added.
  auto registry = guest.Registry();
  if (registry->RegLoadKeyA(kHkeyLocalMachine, kMount, kHiveText) != kErrorSuccess) std::abort();
  RegKey key = 0;
  const auto found = registry->RegOpenKeyExA(
      kHkeyLocalMachine, std::string(kMount) + "\\RavlinFuzzAdded", 0, kKeyAllAccess, key);
  if (found == kErrorSuccess) registry->RegCloseKey(key);
  if (added && found != kErrorSuccess) std::abort();
  if (registry->RegUnLoadKeyA(kHkeyLocalMachine, kMount) != kErrorSuccess) std::abort();
  return 0;
}

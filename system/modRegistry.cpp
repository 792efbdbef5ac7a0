#include "system/modRegistry.hpp"

#include <array>
#include <exception>
#include <vector>

#include "platform/owned_reg_key.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin::modRegistry {
namespace {

constexpr std::uint32_t kSettingsFile = 1;
constexpr std::uint32_t kNotRecognised = 0;
// RegEnumKeyA's buffer: 2048 bytes, so at most 2047 characters and the NUL.
constexpr std::uint32_t kSubKeyBufferSize = 2048;
// GetPrivateProfileStringA's buffer: 255 characters, so at most 254 and the NUL.
constexpr std::uint32_t kProfileBufferSize = 255;

struct RootName {
  std::string_view name;
  RegKey key;
};

// In the order in which the names are tested.
constexpr std::array<RootName, 6> kRootNames{{{"HKCU", kHkeyCurrentUser},
                                              {"HKLM", kHkeyLocalMachine},
                                              {"HKU", kHkeyUsers},
                                              {"HKDD", kHkeyDynData},
                                              {"HKCC", kHkeyCurrentConfig},
                                              {"HKCR", kHkeyClassesRoot}}};

std::string WithoutLeadingBlanks(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::int32_t OpenKey(Registry& registry, RegKey root, const std::string& path, std::uint32_t access,
                     OwnedRegKey& key) {
  RegKey opened = 0;
  const std::int32_t status = registry.RegOpenKeyExA(root, path, 0, access, opened);
  if (status == kErrorSuccess) key.Adopt(opened);
  return status;
}

// Reads up to `size` bytes of a value into a zeroed buffer, so that shorter data leave the
// high-order bytes 0.
template <std::size_t size>
std::int32_t QueryFixed(Registry& registry, RegKey key, const std::string& valueName,
                        std::array<std::uint8_t, size>& buffer) {
  buffer.fill(0);
  std::uint32_t dataSize = size;
  return registry.RegQueryValueExA(key, valueName, nullptr, buffer.data(), &dataSize);
}

Variant ReadSettingsEntry(const Platform& platform, const std::string& file,
                          const std::string& section, const std::string& entry,
                          const std::string& letter, const Variant& defaultValue) {
  if (letter == "S") {
    std::string returned;
    const std::uint32_t count = platform.profiles->GetPrivateProfileStringA(
        section, entry, VariantToText(defaultValue), returned, kProfileBufferSize, file);
    return returned.substr(0, count);
  }
  return platform.profiles->GetPrivateProfileIntA(section, entry, 0, file);
}

}  // namespace

std::uint32_t RootKeyFromName(const Platform& platform, const std::string& rootName) {
  try {
    const std::string upper = UpperAscii(rootName);
    for (const auto& root : kRootNames)
      if (upper == root.name) return root.key;
    // Any other name selects settings-file mode when it names a normal file (as passed,
    // wildcards allowed); a failing search only means that it does not.
    bool found = false;
    try {
      found = platform.files->NormalFileMatches(rootName);
    } catch (const std::exception&) {
      found = false;
    }
    return found ? kSettingsFile : kNotRecognised;
  } catch (const std::exception&) {
    return kNotRecognised;
  }
}

std::int32_t RegEnumSubKeys(const Platform& platform, const std::string& rootName,
                            const std::string& keyPath, std::string& subKeyList) {
  std::int32_t status = kNothingDone;
  try {
    const RegKey root = RootKeyFromName(platform, rootName);
    if (root == kNotRecognised) return kNothingDone;
    Registry& registry = *platform.registry;
    OwnedRegKey key(registry);
    // A settings-file root goes to the open like any handle, which refuses it.
    status = OpenKey(registry, root, keyPath, kKeyEnumerateSubKeys, key);
    if (status != kErrorSuccess) return status;

    for (std::uint32_t index = 0;; ++index) {
      std::string name;
      if (registry.RegEnumKeyA(key.Get(), index, name, kSubKeyBufferSize) != kErrorSuccess) break;
      subKeyList += WithoutLeadingBlanks(name);
      subKeyList += '\0';
    }
    subKeyList += '\0';
    if (subKeyList.size() == 1) subKeyList += '\0';
    status = key.Close();
    return status;
  } catch (const std::exception&) {
    return status;
  }
}

std::int32_t RegReadValue(const Platform& platform, const std::string& rootName,
                          const std::string& keyPath, const std::string& valueName,
                          const std::string& typeLetter, const Variant& defaultValue,
                          Variant& result) {
  result = defaultValue;
  std::int32_t status = kNothingDone;
  try {
    const RegKey root = RootKeyFromName(platform, rootName);
    if (root == kNotRecognised) return kNothingDone;
    const std::string letter = UpperAscii(typeLetter);
    if (root == kSettingsFile) {
      result = ReadSettingsEntry(platform, rootName, keyPath, valueName, letter, defaultValue);
      return kErrorSuccess;
    }

    Registry& registry = *platform.registry;
    OwnedRegKey key(registry);
    status = OpenKey(registry, root, keyPath, kKeyQueryValue, key);
    if (status != kErrorSuccess) return status;

    Variant read = defaultValue;
    if (letter == "S") {
      // A present buffer of size 0 makes a value with data answer 234 and the size it needs.
      std::vector<std::uint8_t> data(1);
      std::uint32_t dataSize = 0;
      status = registry.RegQueryValueExA(key.Get(), valueName, nullptr, data.data(), &dataSize);
      if (status == kErrorMoreData) {
        data.assign(dataSize, 0);
        status = registry.RegQueryValueExA(key.Get(), valueName, nullptr, data.data(), &dataSize);
      }
      if (status != kErrorSuccess) return status;
      // The text ends at its terminating NUL; text stored without one (as programs that
      // give the length without the NUL leave it) keeps its last character. A value without
      // any data bytes keeps the default.
      if (dataSize > 0) {
        const std::size_t length = data[dataSize - 1] == 0 ? dataSize - 1 : dataSize;
        read = std::string(reinterpret_cast<const char*>(data.data()), length);
      }
    } else if (letter == "B") {
      std::array<std::uint8_t, 2> data{};
      status = QueryFixed(registry, key.Get(), valueName, data);
      if (status != kErrorSuccess) return status;
      read = (data[0] | data[1]) != 0;
    } else if (letter == "D") {
      std::array<std::uint8_t, 4> data{};
      status = QueryFixed(registry, key.Get(), valueName, data);
      if (status != kErrorSuccess) return status;
      read = static_cast<std::int32_t>(ReadLe32(data));
    }
    status = key.Close();
    result = std::move(read);
    return status;
  } catch (const std::exception&) {
    result = defaultValue;
    return status;
  }
}

std::int32_t RegWriteValue(const Platform& platform, const std::string& rootName,
                           const std::string& keyPath, const std::string& valueName,
                           const std::string& typeLetter, const Variant& value) {
  std::int32_t status = kNothingDone;
  try {
    const RegKey root = RootKeyFromName(platform, rootName);
    if (root == kNotRecognised) return kNothingDone;
    const std::string letter = UpperAscii(typeLetter);
    if (root == kSettingsFile) {
      if (letter != "S") return kNothingDone;
      // Settings-file writes report success whatever the call answered.
      platform.profiles->WritePrivateProfileStringA(keyPath, valueName, VariantToText(value),
                                                    rootName);
      return kErrorSuccess;
    }

    Registry& registry = *platform.registry;
    OwnedRegKey key(registry);
    RegKey created = 0;
    std::uint32_t disposition = 0;
    status = registry.RegCreateKeyExA(root, keyPath, "", 0, kKeySetValue | kKeyCreateSubKey,
                                      created, &disposition);
    if (status != kErrorSuccess) return status;
    key.Adopt(created);

    if (letter == "S") {
      const std::string text = VariantToText(value);
      std::vector<std::uint8_t> data(text.begin(), text.end());
      data.push_back(0);
      status = registry.RegSetValueExA(key.Get(), valueName, kRegSz, data.data(),
                                       static_cast<std::uint32_t>(data.size()));
    } else if (letter == "B") {
      const std::uint8_t flagByte = VariantToBoolean(value) ? 0xFF : 0x00;
      const std::array<std::uint8_t, 2> data{flagByte, flagByte};
      status = registry.RegSetValueExA(key.Get(), valueName, kRegBinary, data.data(), data.size());
    } else if (letter == "D") {
      // Converted to a 16-bit integer first and widened with its sign: -1 is FF FF FF FF,
      // and a value outside -32768..32767 is an overflow that writes nothing.
      const auto data =
          Le32Bytes(static_cast<std::uint32_t>(static_cast<std::int32_t>(VariantToInteger(value))));
      status = registry.RegSetValueExA(key.Get(), valueName, kRegDword, data.data(), data.size());
    }
    if (status != kErrorSuccess) return status;
    status = key.Close();
    return status;
  } catch (const std::exception&) {
    return status;
  }
}

}  // namespace ravlin::modRegistry

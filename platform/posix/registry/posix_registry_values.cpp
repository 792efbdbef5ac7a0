#include <cerrno>

#include "platform/codepage.hpp"
#include "platform/posix/registry/posix_registry.hpp"
#include "platform/posix/registry/posix_registry_names.hpp"
#include "platform/registry_data.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

std::vector<std::uint8_t> AnsiToStoredText(const std::uint8_t* data, std::uint32_t size) {
  return Utf16ToLe(AnsiToUtf16(std::string_view(reinterpret_cast<const char*>(data), size)));
}

}  // namespace

std::int32_t PosixRegistry::RegQueryValueExA(RegKey key, const std::string& valueName,
                                             std::uint32_t* type, std::uint8_t* data,
                                             std::uint32_t* dataSize) {
  return QueryValue(key, valueName, type, data, dataSize, &HandOutQueriedValue);
}

std::int32_t PosixRegistry::RegQueryValueExW(RegKey key, const std::string& valueName,
                                             std::uint32_t* type, std::uint8_t* data,
                                             std::uint32_t* dataSize) {
  return QueryValue(key, valueName, type, data, dataSize, &HandOutStoredValue);
}

std::int32_t PosixRegistry::QueryValue(RegKey key, const std::string& valueName,
                                       std::uint32_t* type, std::uint8_t* data,
                                       std::uint32_t* dataSize, HandOutValue handOut) {
  if (data != nullptr && dataSize == nullptr) return kErrorInvalidParameter;
  return Guarded([&] {
    ReachedKey reached;
    if (const auto status = Reach(key, kKeyQueryValue, false, reached); status != kErrorSuccess)
      return status;
    auto& [place, hive, node] = reached;
    HiveUse use(*this, place.hiveId);
    std::vector<StoredValue> values;
    const auto status =
        use.Finish(hive->file ? hive->file->ReadValues(node, values) : kErrorSuccess);
    if (status != kErrorSuccess) return status;
    const auto name = AnsiToUtf8(valueName);
    for (const auto& value : values) {
      if (!SameRegistryName(value.name, name)) continue;
      return handOut(value.type, value.data, type, data, dataSize);
    }
    return kErrorFileNotFound;
  });
}

std::int32_t PosixRegistry::RegSetValueExA(RegKey key, const std::string& valueName,
                                           std::uint32_t type, const std::uint8_t* data,
                                           std::uint32_t dataSize) {
  if (data == nullptr && dataSize != 0) return kErrorInvalidParameter;
  if (IsRegistryStringType(type))
    return SetValue(key, valueName, type, AnsiToStoredText(data, dataSize));
  return SetValue(key, valueName, type, std::vector<std::uint8_t>(data, data + dataSize));
}

std::int32_t PosixRegistry::RegSetValueExW(RegKey key, const std::string& valueName,
                                           std::uint32_t type, const std::uint8_t* data,
                                           std::uint32_t dataSize) {
  if (data == nullptr && dataSize != 0) return kErrorInvalidParameter;
  return SetValue(key, valueName, type, std::vector<std::uint8_t>(data, data + dataSize));
}

std::int32_t PosixRegistry::SetValue(RegKey key, const std::string& valueName, std::uint32_t type,
                                     std::vector<std::uint8_t> data) {
  return Guarded([&] {
    ReachedKey reached;
    if (const auto status = Reach(key, kKeySetValue, true, reached); status != kErrorSuccess)
      return status;
    auto& [place, hive, node] = reached;
    HiveUse use(*this, place.hiveId);
    std::vector<StoredValue> values;
    auto status = hive->file->ReadValues(node, values);
    if (status == kErrorSuccess) {
      const auto name = AnsiToUtf8(valueName);
      bool replaced = false;
      for (auto& value : values) {
        if (!SameRegistryName(value.name, name)) continue;
        // The value keeps the spelling it has, as on Windows.
        value.type = type;
        value.data = std::move(data);
        replaced = true;
        break;
      }
      if (!replaced) values.push_back(StoredValue{name, type, std::move(data)});
      status = hive->file->WriteValues(node, values);
    }
    return use.Finish(status);
  });
}

std::int32_t PosixRegistry::RegDeleteValueA(RegKey key, const std::string& valueName) {
  return Guarded([&] {
    ReachedKey reached;
    if (const auto status = Reach(key, kKeySetValue, false, reached); status != kErrorSuccess)
      return status;
    auto& [place, hive, node] = reached;
    HiveUse use(*this, place.hiveId);
    std::vector<StoredValue> values;
    auto status = hive->file ? hive->file->ReadValues(node, values) : kErrorSuccess;
    if (status == kErrorSuccess) {
      const auto name = AnsiToUtf8(valueName);
      const auto before = values.size();
      std::erase_if(values,
                    [&](const StoredValue& value) { return SameRegistryName(value.name, name); });
      status = values.size() == before ? kErrorFileNotFound : hive->file->WriteValues(node, values);
    }
    return use.Finish(status);
  });
}

}  // namespace ravlin

#include "platform/win32/registry/win32_registry.hpp"

#include <windows.h>

#include <array>
#include <string_view>
#include <vector>

#include "platform/registry_data.hpp"
#include "platform/win32/registry/stored_values.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

LONG DeleteKeyTree(HKEY parent, const wchar_t* subKey);

// Deletes every subkey of `key` with everything below it.
LONG DeleteSubkeys(HKEY key) {
  for (;;) {
    std::array<wchar_t, kLongestKeyName + 1> name{};
    DWORD length = name.size();
    const LONG status =
        ::RegEnumKeyExW(key, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    if (const LONG deleted = DeleteKeyTree(key, name.data()); deleted != ERROR_SUCCESS)
      return deleted;
  }
}

// RegDeleteTree is Windows Vista's; Windows XP deletes only keys without subkeys.
LONG DeleteKeyTree(HKEY parent, const wchar_t* subKey) {
  HKEY opened = nullptr;
  const LONG status =
      ::RegOpenKeyExW(parent, subKey, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &opened);
  if (status != ERROR_SUCCESS) return status;
  const OwnedKey key(opened);
  if (const LONG emptied = DeleteSubkeys(key.get()); emptied != ERROR_SUCCESS) return emptied;
  return ::RegDeleteKeyW(parent, subKey);
}

LONG DeleteValues(HKEY key) {
  std::vector<wchar_t> name(kLongestValueName + 1);
  for (;;) {
    DWORD length = static_cast<DWORD>(name.size());
    LONG status = ::RegEnumValueW(key, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status == ERROR_SUCCESS) status = ::RegDeleteValueW(key, name.data());
    if (status != ERROR_SUCCESS) return status;
  }
}

}  // namespace

HKEY__* Win32Registry::Resolve(RegKey key) const {
  switch (key) {
    case kHkeyClassesRoot:
      return HKEY_CLASSES_ROOT;
    case kHkeyCurrentUser:
      return HKEY_CURRENT_USER;
    case kHkeyLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case kHkeyUsers:
      return HKEY_USERS;
    case kHkeyCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case kHkeyDynData:
      return HKEY_DYN_DATA;
    default: {
      const auto open = keys_.find(key);
      return open == keys_.end() ? nullptr : open->second.get();
    }
  }
}

RegKey Win32Registry::Add(HKEY__* key) {
  OwnedKey owned(key);
  const RegKey handle = nextKey_;
  keys_.emplace(handle, std::move(owned));
  nextKey_ += 4;
  return handle;
}

std::int32_t Win32Registry::RegOpenKeyExA(RegKey key, const std::string& subKey,
                                          std::uint32_t options, std::uint32_t samDesired,
                                          RegKey& result) {
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExW(parent, Wide(subKey).c_str(), options, samDesired, &opened);
  if (status == ERROR_SUCCESS) result = Add(opened);
  return status;
}

std::int32_t Win32Registry::RegCreateKeyExA(RegKey key, const std::string& subKey,
                                            const std::string& keyClass, std::uint32_t options,
                                            std::uint32_t samDesired, RegKey& result,
                                            std::uint32_t* disposition) {
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  std::wstring wideClass = Wide(keyClass);
  HKEY created = nullptr;
  DWORD how = 0;
  const LONG status = ::RegCreateKeyExW(parent, Wide(subKey).c_str(), 0,
                                        keyClass.empty() ? nullptr : wideClass.data(), options,
                                        samDesired, nullptr, &created, &how);
  if (status != ERROR_SUCCESS) return status;
  result = Add(created);
  if (disposition != nullptr) *disposition = how;
  return kErrorSuccess;
}

std::int32_t Win32Registry::RegEnumKeyA(RegKey key, std::uint32_t index, std::string& name,
                                        std::uint32_t bufferSize) {
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  std::array<wchar_t, kLongestKeyName + 1> wide{};
  DWORD length = wide.size();
  const LONG status =
      ::RegEnumKeyExW(parent, index, wide.data(), &length, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  // The caller's buffer counts the name in UTF-8 bytes with its NUL.
  std::string found = Narrow(std::wstring_view(wide.data(), length));
  if (found.size() + 1 > bufferSize) return kErrorMoreData;
  name = std::move(found);
  return kErrorSuccess;
}

std::int32_t Win32Registry::RegQueryValueExA(RegKey key, const std::string& valueName,
                                             std::uint32_t* type, std::uint8_t* data,
                                             std::uint32_t* dataSize) {
  return QueryValue(key, valueName, type, data, dataSize, &HandOutQueriedValue);
}

std::int32_t Win32Registry::RegQueryValueExW(RegKey key, const std::string& valueName,
                                             std::uint32_t* type, std::uint8_t* data,
                                             std::uint32_t* dataSize) {
  return QueryValue(key, valueName, type, data, dataSize, &HandOutStoredValue);
}

std::int32_t Win32Registry::QueryValue(RegKey key, const std::string& valueName,
                                       std::uint32_t* type, std::uint8_t* data,
                                       std::uint32_t* dataSize, HandOutValue handOut) {
  if (data != nullptr && dataSize == nullptr) return kErrorInvalidParameter;
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  std::uint32_t storedType = 0;
  std::vector<std::uint8_t> stored;
  if (const auto status = QueryStoredValue(parent, Wide(valueName), storedType, stored);
      status != kErrorSuccess)
    return status;
  return handOut(storedType, stored, type, data, dataSize);
}

std::int32_t Win32Registry::RegSetValueExA(RegKey key, const std::string& valueName,
                                           std::uint32_t type, const std::uint8_t* data,
                                           std::uint32_t dataSize) {
  if (data == nullptr && dataSize != 0) return kErrorInvalidParameter;
  if (!IsRegistryStringType(type)) return RegSetValueExW(key, valueName, type, data, dataSize);
  const std::wstring text = Wide(std::string_view(reinterpret_cast<const char*>(data), dataSize));
  return RegSetValueExW(key, valueName, type, reinterpret_cast<const std::uint8_t*>(text.data()),
                        static_cast<std::uint32_t>(text.size() * sizeof(wchar_t)));
}

std::int32_t Win32Registry::RegSetValueExW(RegKey key, const std::string& valueName,
                                           std::uint32_t type, const std::uint8_t* data,
                                           std::uint32_t dataSize) {
  if (data == nullptr && dataSize != 0) return kErrorInvalidParameter;
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  return ::RegSetValueExW(parent, Wide(valueName).c_str(), 0, type, data, dataSize);
}

std::int32_t Win32Registry::RegDeleteValueA(RegKey key, const std::string& valueName) {
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  return ::RegDeleteValueW(parent, Wide(valueName).c_str());
}

std::int32_t Win32Registry::RegDeleteTreeA(RegKey key, const std::string& subKey) {
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  if (subKey.find_first_not_of('\\') != std::string::npos)
    return DeleteKeyTree(parent, Wide(subKey).c_str());
  // No subkey empties the key itself: its subkeys and values go, the key stays.
  if (const LONG status = DeleteSubkeys(parent); status != ERROR_SUCCESS) return status;
  return DeleteValues(parent);
}

std::int32_t Win32Registry::RegFlushKey(RegKey key) {
  HKEY parent = Resolve(key);
  if (parent == nullptr) return kErrorInvalidHandle;
  return ::RegFlushKey(parent);
}

std::int32_t Win32Registry::RegCloseKey(RegKey key) {
  const auto open = keys_.find(key);
  // The predefined roots stay open.
  if (open == keys_.end()) return Resolve(key) != nullptr ? kErrorSuccess : kErrorInvalidHandle;
  const LONG status = ::RegCloseKey(open->second.release());
  keys_.erase(open);
  return status;
}

}  // namespace ravlin

#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.hpp"
#include "platform/win32/registry/owned_handles.hpp"

namespace ravlin {

// The system's own registry through its wide calls. RegKey handles index a table of the keys
// this object opened (HKEY is a pointer on 64-bit Windows); names and string data cross as
// UTF-8.
class Win32Registry : public Registry {
 public:
  Win32Registry() = default;
  Win32Registry(const Win32Registry&) = delete;
  Win32Registry& operator=(const Win32Registry&) = delete;

  std::int32_t RegOpenKeyExA(RegKey key, const std::string& subKey, std::uint32_t options,
                             std::uint32_t samDesired, RegKey& result) override;
  std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, std::string& name,
                           std::uint32_t bufferSize) override;
  std::int32_t RegQueryValueExA(RegKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* dataSize) override;
  std::int32_t RegQueryValueExW(RegKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* dataSize) override;
  std::int32_t RegCreateKeyExA(RegKey key, const std::string& subKey, const std::string& keyClass,
                               std::uint32_t options, std::uint32_t samDesired, RegKey& result,
                               std::uint32_t* disposition) override;
  std::int32_t RegSetValueExA(RegKey key, const std::string& valueName, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t dataSize) override;
  std::int32_t RegSetValueExW(RegKey key, const std::string& valueName, std::uint32_t type,
                              const std::uint8_t* data, std::uint32_t dataSize) override;
  std::int32_t RegDeleteValueA(RegKey key, const std::string& valueName) override;
  std::int32_t RegDeleteTreeA(RegKey key, const std::string& subKey) override;
  std::int32_t RegFlushKey(RegKey key) override;
  std::int32_t RegCloseKey(RegKey key) override;
  // Keeps the untouched file as `<file>.ravlin-backup` before the first load, since Windows
  // writes into a loaded hive itself. A hive with the read-only, hidden or system attribute
  // loses them while it is loaded (the loader cannot write it otherwise) and gets them back
  // when it is unloaded or the load fails. A file another program holds open is tried again
  // for a few seconds.
  std::int32_t RegLoadKeyA(RegKey key, const std::string& subKey, const std::string& file) override;
  std::int32_t RegUnLoadKeyA(RegKey key, const std::string& subKey) override;
  // Unloads, then puts back the copy of the hive that the load made in this process.
  std::int32_t DiscardLoadedKey(RegKey key, const std::string& subKey) override;
  // A named mutex, so that repairs in every session and process exclude each other.
  std::unique_ptr<RegistryClaim> ClaimForRepair() override;

 private:
  // The key behind a handle: a predefined root or an open key; null for any other number.
  HKEY__* Resolve(RegKey key) const;
  RegKey Add(HKEY__* key);
  // RegQueryValueExA and RegQueryValueExW, which differ only in how they hand the data out.
  using HandOutValue = std::int32_t (*)(std::uint32_t, const std::vector<std::uint8_t>&,
                                        std::uint32_t*, std::uint8_t*, std::uint32_t*);
  std::int32_t QueryValue(RegKey key, const std::string& valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* dataSize, HandOutValue handOut);

  std::map<RegKey, OwnedKey> keys_;
  // The hive file of each load this object made, by its root and name in upper case.
  std::map<std::wstring, std::wstring> loadedHives_;
  // The hives loaded here whose attributes come back at their unload: the file and its
  // attributes, by root and name.
  struct KeptAttributes {
    std::wstring file;
    unsigned long attributes;
  };
  std::map<std::pair<RegKey, std::string>, KeptAttributes> keptAttributes_;
  RegKey nextKey_ = 0x100;
};

}  // namespace ravlin

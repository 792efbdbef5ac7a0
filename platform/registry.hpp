#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/hive_recovery.hpp"

namespace ravlin {

// A registry key handle: one of the predefined roots below, or a key that RegOpenKeyExA or
// RegCreateKeyExA opened. 0 is no key.
using RegKey = std::uint32_t;

inline constexpr RegKey kHkeyClassesRoot = 0x80000000;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002;
inline constexpr RegKey kHkeyUsers = 0x80000003;
inline constexpr RegKey kHkeyCurrentConfig = 0x80000005;
inline constexpr RegKey kHkeyDynData = 0x80000006;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Access rights.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Windows' status codes, as the registry calls return them.
inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorInvalidHandle = 6;
inline constexpr std::int32_t kErrorWriteProtect = 19;
inline constexpr std::int32_t kErrorSharingViolation = 32;
inline constexpr std::int32_t kErrorNotSupported = 50;
inline constexpr std::int32_t kErrorInvalidParameter = 87;
inline constexpr std::int32_t kErrorDiskFull = 112;
inline constexpr std::int32_t kErrorMoreData = 234;
inline constexpr std::int32_t kErrorNoMoreItems = 259;
inline constexpr std::int32_t kErrorFileInvalid = 1006;
inline constexpr std::int32_t kErrorBadDb = 1009;
inline constexpr std::int32_t kErrorRegistryCorrupt = 1015;
inline constexpr std::int32_t kErrorRegistryIoFailed = 1016;
inline constexpr std::int32_t kErrorNotRegistryFile = 1017;
inline constexpr std::int32_t kErrorKeyDeleted = 1018;
inline constexpr std::int32_t kErrorPrivilegeNotHeld = 1314;
inline constexpr std::int32_t kErrorCantResolveFilename = 1921;

// One repair's hold on the registry it works in, from the Browse press to its end.
class RegistryClaim {
 public:
  virtual ~RegistryClaim() = default;
};

// The registry calls that the program makes, with Windows' contracts: every call returns 0
// or a Windows status code; names and string data cross in the ANSI code page
// (Windows-1252), while the hive stores strings as UTF-16LE.
class Registry {
 public:
  virtual ~Registry() = default;

  virtual std::int32_t RegOpenKeyExA(RegKey key, const std::string& subKey, std::uint32_t options,
                                     std::uint32_t samDesired, RegKey& result) = 0;
  // The name of subkey `index`; 259 past the last one; 234 when the name and its NUL do not
  // fit into `bufferSize` bytes.
  virtual std::int32_t RegEnumKeyA(RegKey key, std::uint32_t index, std::string& name,
                                   std::uint32_t bufferSize) = 0;
  // With `data` null only the size is reported; with `*dataSize` too small, 234 and the size
  // needed. String types are returned in the ANSI code page, their size counting ANSI bytes.
  virtual std::int32_t RegQueryValueExA(RegKey key, const std::string& valueName,
                                        std::uint32_t* type, std::uint8_t* data,
                                        std::uint32_t* dataSize) = 0;
  // The same with the data exactly as stored: string types in UTF-16LE, sizes in bytes.
  virtual std::int32_t RegQueryValueExW(RegKey key, const std::string& valueName,
                                        std::uint32_t* type, std::uint8_t* data,
                                        std::uint32_t* dataSize) = 0;
  virtual std::int32_t RegCreateKeyExA(RegKey key, const std::string& subKey,
                                       const std::string& keyClass, std::uint32_t options,
                                       std::uint32_t samDesired, RegKey& result,
                                       std::uint32_t* disposition) = 0;
  // String types (1, 2, 7) are given in the ANSI code page and stored as UTF-16LE.
  virtual std::int32_t RegSetValueExA(RegKey key, const std::string& valueName, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t dataSize) = 0;
  // The data are stored exactly as given (string types already in UTF-16LE); the name is ANSI.
  virtual std::int32_t RegSetValueExW(RegKey key, const std::string& valueName, std::uint32_t type,
                                      const std::uint8_t* data, std::uint32_t dataSize) = 0;
  virtual std::int32_t RegDeleteValueA(RegKey key, const std::string& valueName) = 0;
  // Deletes the subkey with everything below it.
  virtual std::int32_t RegDeleteTreeA(RegKey key, const std::string& subKey) = 0;
  // Makes every change to the key's hive durable now.
  virtual std::int32_t RegFlushKey(RegKey key) = 0;
  // Closing the last open key of a hive makes its changes durable.
  virtual std::int32_t RegCloseKey(RegKey key) = 0;
  virtual std::int32_t RegLoadKeyA(RegKey key, const std::string& subKey,
                                   const std::string& file) = 0;
  virtual std::int32_t RegUnLoadKeyA(RegKey key, const std::string& subKey) = 0;
  // Ends a mount as RegUnLoadKeyA does, but without keeping anything done to the hive since
  // its load: the hive file is left, or put back, as it was when it was loaded. 2 when
  // nothing is mounted under the name.
  virtual std::int32_t DiscardLoadedKey(RegKey key, const std::string& subKey) = 0;
  // What the last RegLoadKeyA of this object did with a hive Windows had not closed cleanly.
  // A system that recovers such hives by itself, out of sight, reports a clean one.
  virtual HiveRecovery LastLoadRecovery() const { return {}; }

  // Claims the registry for one repair; null while another repair (in any process) holds
  // it, since two repairs would mount and unmount the same name under each other.
  virtual std::unique_ptr<RegistryClaim> ClaimForRepair() = 0;
};

}  // namespace ravlin

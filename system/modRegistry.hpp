#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.hpp"
#include "platform/variant.hpp"

namespace ravlin {

// Registry access by short root name ("HKLM") and key path, every outcome a status: 0, the
// platform's registry error code, or 99 when nothing was done. A root name that names an
// existing file selects settings-file (INI) mode.
namespace modRegistry {

inline constexpr std::int32_t kNothingDone = 99;

std::uint32_t RootKeyFromName(const Platform& platform, const std::string& rootName);
std::int32_t RegEnumSubKeys(const Platform& platform, const std::string& rootName,
                            const std::string& keyPath, std::string& subKeyList);
std::int32_t RegReadValue(const Platform& platform, const std::string& rootName,
                          const std::string& keyPath, const std::string& valueName,
                          const std::string& typeLetter, const Variant& defaultValue,
                          Variant& result);
std::int32_t RegWriteValue(const Platform& platform, const std::string& rootName,
                           const std::string& keyPath, const std::string& valueName,
                           const std::string& typeLetter, const Variant& value);

}  // namespace modRegistry
}  // namespace ravlin

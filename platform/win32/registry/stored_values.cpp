#include "platform/win32/registry/stored_values.hpp"

#include <windows.h>

namespace ravlin {

std::int32_t QueryStoredValue(HKEY__* key, const std::wstring& name, std::uint32_t& type,
                              std::vector<std::uint8_t>& data) {
  DWORD storedType = 0;
  DWORD size = 0;
  LONG status = ::RegQueryValueExW(key, name.c_str(), nullptr, &storedType, nullptr, &size);
  while (status == ERROR_SUCCESS) {
    data.resize(size);
    DWORD got = size;
    status = ::RegQueryValueExW(key, name.c_str(), nullptr, &storedType, data.data(), &got);
    if (status == ERROR_SUCCESS) {
      data.resize(got);
      type = storedType;
      break;
    }
    // Another writer made it longer since the size was asked for.
    if (status == ERROR_MORE_DATA) {
      size = got;
      status = ERROR_SUCCESS;
    }
  }
  return status;
}

}  // namespace ravlin

#pragma once

#include "platform/drives.hpp"

namespace ravlin {

// Settings files through the system's own private-profile calls (GetPrivateProfileStringW,
// GetPrivateProfileIntW, WritePrivateProfileStringW).
class Win32Profiles : public Profiles {
 public:
  std::uint32_t GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                         const std::string& defaultValue, std::string& returned,
                                         std::uint32_t size, const std::string& file) override;
  std::int32_t GetPrivateProfileIntA(const std::string& section, const std::string& key,
                                     std::int32_t defaultValue, const std::string& file) override;
  bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) override;
};

}  // namespace ravlin

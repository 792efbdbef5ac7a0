#pragma once

#include <memory>

#include "platform/drives.hpp"
#include "platform/win32/files/win32_guest_root.hpp"

namespace ravlin {

// The system's temporary folder and names (GetTempPathW, GetTempFileNameW).
class Win32TempFiles : public TempFiles {
 public:
  explicit Win32TempFiles(
      std::shared_ptr<Win32GuestRoot> guest = std::make_shared<Win32GuestRoot>());

  std::uint32_t GetTempPathA(std::uint32_t bufferLength, std::string& buffer) override;
  std::uint32_t GetTempFileNameA(const std::string& folder, const std::string& prefix,
                                 std::uint32_t unique, std::string& buffer) override;
  // The file opened without sharing its deletion, so that no one can delete it meanwhile.
  std::unique_ptr<TempHold> HoldTempFile(const std::string& path) override;
  void RemoveUnheldScratch(const std::string& prefix) override;

 private:
  std::shared_ptr<Win32GuestRoot> guest_;
};

}  // namespace ravlin

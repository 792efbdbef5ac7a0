#pragma once

#include <string>

#include "platform/drives.hpp"

namespace ravlin {

// The Properties window of Windows' shell, opened through the "properties" verb of the item
// and left to itself: nobody waits for it, and a failure shows nothing.
class Win32Shell : public Shell {
 public:
  void ShowProperties(const std::string& path) override;
};

}  // namespace ravlin

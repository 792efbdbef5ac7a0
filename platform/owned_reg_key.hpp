#pragma once

#include <exception>

#include "platform/registry.hpp"

namespace ravlin {

// A key opened or created through a Registry. It is closed on every path; a caller whose
// result is the close status closes it explicitly with Close().
class OwnedRegKey {
 public:
  explicit OwnedRegKey(Registry& registry) : registry_(registry) {}
  OwnedRegKey(const OwnedRegKey&) = delete;
  OwnedRegKey& operator=(const OwnedRegKey&) = delete;
  ~OwnedRegKey() {
    if (key_ == 0) return;
    try {
      registry_.RegCloseKey(key_);
    } catch (const std::exception&) {
      // Closing after a trapped failure: the status already decided is returned.
    }
  }

  void Adopt(RegKey key) { key_ = key; }
  RegKey Get() const { return key_; }
  std::int32_t Close() {
    const RegKey key = key_;
    key_ = 0;
    return registry_.RegCloseKey(key);
  }

 private:
  Registry& registry_;
  RegKey key_ = 0;
};

}  // namespace ravlin

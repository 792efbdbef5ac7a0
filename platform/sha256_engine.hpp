#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/sha256.hpp"

namespace ravlin {

// The rounds behind Sha256: the system's where it has them (libcrypto on Linux, the CryptoAPI
// on Windows), the portable ones otherwise.
class Sha256::Engine {
 public:
  virtual ~Engine() = default;
  virtual void Add(std::span<const std::uint8_t> data) = 0;
  // The digest of what was added so far; more may still be added afterwards.
  virtual std::array<std::uint8_t, 32> Digest() const = 0;
};

// The build's engine (sha256_libcrypto.cpp, or the Windows backend's win32_sha256.cpp).
std::unique_ptr<Sha256::Engine> MakeSha256Engine();
// The portable rounds (FIPS 180-4), where the system has none.
std::unique_ptr<Sha256::Engine> MakePortableSha256Engine();

}  // namespace ravlin

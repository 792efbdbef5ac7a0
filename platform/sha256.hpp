#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ravlin {

// A SHA-256 digest of data that arrives in pieces, so that a file of any size is digested in
// bounded memory.
class Sha256 {
 public:
  using State = std::array<std::uint32_t, 8>;

  Sha256();
  void Add(std::span<const std::uint8_t> data);
  void Add(std::string_view data);
  // The digest of everything added so far, as 64 lower-case hexadecimal digits.
  std::string Hex() const;

 private:
  State state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t length_ = 0;
};

// The SHA-256 digest of `data` as 64 lower-case hexadecimal digits (FIPS 180-4).
std::string Sha256Hex(std::span<const std::uint8_t> data);
std::string Sha256Hex(const std::string& data);

}  // namespace ravlin

#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ravlin {

// A SHA-256 digest of data that arrives in pieces, so that a file of any size is digested in
// bounded memory. The system's crypto library computes it where the build has one (it uses
// the processor's SHA instructions, several times faster); the portable rounds otherwise.
class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  ~Sha256();

  void Add(std::span<const std::uint8_t> data);
  void Add(std::string_view data);
  // The digest of everything added so far, as 64 lower-case hexadecimal digits.
  std::string Hex() const;

 private:
  class Engine;
  std::unique_ptr<Engine> engine_;
};

// A digest's 32 bytes as 64 lower-case hexadecimal digits.
std::string HexDigits(const std::array<std::uint8_t, 32>& digest);

// The SHA-256 digest of `data` as 64 lower-case hexadecimal digits (FIPS 180-4).
std::string Sha256Hex(std::span<const std::uint8_t> data);
std::string Sha256Hex(const std::string& data);

}  // namespace ravlin

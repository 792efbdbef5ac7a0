// SHA-256 through libcrypto, which uses the processor's SHA instructions where it has them.
// Its plain digest calls, not the EVP ones: those bring libcrypto's provider and network
// machinery into the static program, which needs none of it.
#define OPENSSL_API_COMPAT 10101
#include <openssl/sha.h>

#include <array>

#include "platform/sha256.hpp"

namespace ravlin {

class Sha256::Engine {
 public:
  Engine() { SHA256_Init(&context_); }
  void Add(std::span<const std::uint8_t> data) {
    SHA256_Update(&context_, data.data(), data.size());
  }
  // Finishes a copy, so that more data may still be added.
  std::array<std::uint8_t, 32> Digest() const {
    SHA256_CTX copy = context_;
    std::array<std::uint8_t, 32> digest{};
    SHA256_Final(digest.data(), &copy);
    return digest;
  }

 private:
  SHA256_CTX context_{};
};

Sha256::Sha256() : engine_(std::make_unique<Engine>()) {}
Sha256::~Sha256() = default;
void Sha256::Add(std::span<const std::uint8_t> data) {
  engine_->Add(data);
}
std::string Sha256::Hex() const {
  return HexDigits(engine_->Digest());
}

}  // namespace ravlin

// SHA-256 through libcrypto, which uses the processor's SHA instructions where it has them.
// Its plain digest calls, not the EVP ones: those bring libcrypto's provider and network
// machinery into the static program, which needs none of it.
#define OPENSSL_API_COMPAT 10101
#include <openssl/sha.h>

#include <array>

#include "platform/sha256_engine.hpp"

namespace ravlin {
namespace {

class LibcryptoEngine : public Sha256::Engine {
 public:
  LibcryptoEngine() { SHA256_Init(&context_); }
  void Add(std::span<const std::uint8_t> data) override {
    SHA256_Update(&context_, data.data(), data.size());
  }
  // Finishes a copy, so that more data may still be added.
  std::array<std::uint8_t, 32> Digest() const override {
    SHA256_CTX copy = context_;
    std::array<std::uint8_t, 32> digest{};
    SHA256_Final(digest.data(), &copy);
    return digest;
  }

 private:
  SHA256_CTX context_{};
};

}  // namespace

std::unique_ptr<Sha256::Engine> MakeSha256Engine() {
  return std::make_unique<LibcryptoEngine>();
}

}  // namespace ravlin

// SHA-256 through libcrypto, which uses the processor's SHA instructions where it has them.
#include <openssl/evp.h>

#include <array>
#include <memory>
#include <new>

#include "platform/sha256.hpp"

namespace ravlin {
namespace {

struct ContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, ContextDeleter>;

Context NewContext() {
  Context context(EVP_MD_CTX_new());
  if (!context) throw std::bad_alloc();
  return context;
}

}  // namespace

class Sha256::Engine {
 public:
  Engine() : context_(NewContext()) {
    if (EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
  }

  void Add(std::span<const std::uint8_t> data) {
    if (EVP_DigestUpdate(context_.get(), data.data(), data.size()) != 1) throw std::bad_alloc();
  }

  // Finishes a copy, so that more data may still be added.
  std::array<std::uint8_t, 32> Digest() const {
    const Context copy = NewContext();
    std::array<std::uint8_t, 32> digest{};
    unsigned int length = 0;
    if (EVP_MD_CTX_copy_ex(copy.get(), context_.get()) != 1 ||
        EVP_DigestFinal_ex(copy.get(), digest.data(), &length) != 1 || length != digest.size())
      throw std::bad_alloc();
    return digest;
  }

 private:
  Context context_;
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

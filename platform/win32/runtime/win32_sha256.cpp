// SHA-256 through the CryptoAPI's AES provider, which has it from Windows XP SP3 on; the
// portable rounds on systems without it.
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include <array>
#include <memory>
#include <new>

#include "platform/sha256_engine.hpp"

namespace ravlin {
namespace {

// CALG_SHA_256, which the headers name only for targets from XP SP3 on; older systems refuse it
// when the hash is created.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;

class Provider {
 public:
  Provider() {
    if (!CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
      handle_ = 0;
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  ~Provider() {
    if (handle_ != 0) CryptReleaseContext(handle_, 0);
  }
  HCRYPTPROV get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

class Hash {
 public:
  explicit Hash(HCRYPTHASH handle = 0) : handle_(handle) {}
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;
  ~Hash() {
    if (handle_ != 0) CryptDestroyHash(handle_);
  }
  HCRYPTHASH get() const { return handle_; }
  HCRYPTHASH* out() { return &handle_; }

 private:
  HCRYPTHASH handle_ = 0;
};

class CryptoApiEngine : public Sha256::Engine {
 public:
  // Nothing when the system has no SHA-256 of its own.
  static std::unique_ptr<CryptoApiEngine> Make() {
    auto engine = std::make_unique<CryptoApiEngine>();
    if (engine->provider_.get() == 0 ||
        !CryptCreateHash(engine->provider_.get(), kSha256, 0, 0, engine->hash_.out()))
      return nullptr;
    // A digest midway needs a copy of the hash, which not every provider makes.
    Hash copy;
    if (!CryptDuplicateHash(engine->hash_.get(), nullptr, 0, copy.out())) return nullptr;
    return engine;
  }

  void Add(std::span<const std::uint8_t> data) override {
    // CryptHashData takes at most 4 GiB at once.
    constexpr std::size_t kLargestPiece = 1u << 30;
    while (!data.empty()) {
      const auto piece = data.first(std::min(data.size(), kLargestPiece));
      if (!CryptHashData(hash_.get(), piece.data(), static_cast<DWORD>(piece.size()), 0))
        throw std::bad_alloc();
      data = data.subspan(piece.size());
    }
  }

  // Finishes a copy, so that more data may still be added.
  std::array<std::uint8_t, 32> Digest() const override {
    Hash copy;
    std::array<std::uint8_t, 32> digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (!CryptDuplicateHash(hash_.get(), nullptr, 0, copy.out()) ||
        !CryptGetHashParam(copy.get(), HP_HASHVAL, digest.data(), &size, 0) ||
        size != digest.size())
      throw std::bad_alloc();
    return digest;
  }

 private:
  Provider provider_;
  Hash hash_;
};

}  // namespace

std::unique_ptr<Sha256::Engine> MakeSha256Engine() {
  if (auto engine = CryptoApiEngine::Make()) return engine;
  return MakePortableSha256Engine();
}

}  // namespace ravlin

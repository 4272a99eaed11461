#include "platform/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace orvo::platform {

struct Sha256::State {
  struct Free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};

  void Start() {
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
      throw std::runtime_error("SHA-256 is not available");
    }
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  if (size == 0) return;
  if (EVP_DigestUpdate(state_->context.get(), data, size) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
}

Sha256::Digest Sha256::Final() {
  Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1 ||
      length != digest.size()) {
    throw std::runtime_error("SHA-256 failed");
  }
  state_->Start();
  return digest;
}

}  // namespace orvo::platform

#include "platform/Sha256.h"

// windows.h first: bcrypt.h needs its types.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace orvo::platform {
namespace {

[[noreturn]] void Fail(const char* what, NTSTATUS status) {
  throw std::runtime_error(std::string(what) + " failed (status " +
                           std::to_string(static_cast<unsigned long>(status)) + ")");
}

// Opening the algorithm is the slow part, so the process opens it once and keeps it; a provider
// handle may be shared by threads.
BCRYPT_ALG_HANDLE Algorithm() {
  static const BCRYPT_ALG_HANDLE algorithm = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    const NTSTATUS status =
        BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) Fail("BCryptOpenAlgorithmProvider", status);
    return handle;
  }();
  return algorithm;
}

}  // namespace

struct Sha256::State {
  BCRYPT_HASH_HANDLE hash = nullptr;

  void Start() {
    const NTSTATUS status = BCryptCreateHash(Algorithm(), &hash, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) Fail("BCryptCreateHash", status);
  }
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->Start();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
  // BCryptHashData takes a 32-bit length.
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    const NTSTATUS status = BCryptHashData(state_->hash, bytes, piece, 0);
    if (!BCRYPT_SUCCESS(status)) Fail("BCryptHashData", status);
    bytes += piece;
    size -= piece;
  }
}

Sha256::Digest Sha256::Final() {
  Digest digest{};
  const NTSTATUS status =
      BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  if (!BCRYPT_SUCCESS(status)) Fail("BCryptFinishHash", status);
  BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  state_->Start();
  return digest;
}

}  // namespace orvo::platform

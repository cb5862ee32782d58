#include <windows.h>

#include <bcrypt.h>

#include "platform/sha256.h"

namespace vemo::platform {
namespace {

struct State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

State& state_of(void* state) {
  return *static_cast<State*>(state);
}

}  // namespace

Sha256::Sha256() : state_(new State) {
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&state_of(state_).algorithm,
                                                    BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    state_of(state_).algorithm = nullptr;
  }
  reset();
}

Sha256::~Sha256() {
  State& s = state_of(state_);
  if (s.hash) ::BCryptDestroyHash(s.hash);
  if (s.algorithm) ::BCryptCloseAlgorithmProvider(s.algorithm, 0);
  delete &s;
}

void Sha256::reset() {
  State& s = state_of(state_);
  if (s.hash) ::BCryptDestroyHash(s.hash);
  s.hash = nullptr;
  // The hash object's memory is left to the system (Windows 7 and later).
  failed_ = s.algorithm == nullptr ||
            !BCRYPT_SUCCESS(::BCryptCreateHash(s.algorithm, &s.hash, nullptr, 0, nullptr, 0, 0));
}

void Sha256::update(const void* data, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (!failed_ && n > 0) {
    const ULONG part = n > 0x40000000 ? 0x40000000 : static_cast<ULONG>(n);
    failed_ =
        !BCRYPT_SUCCESS(::BCryptHashData(state_of(state_).hash, const_cast<PUCHAR>(p), part, 0));
    p += part;
    n -= part;
  }
}

std::string Sha256::finish() {
  unsigned char digest[32];
  std::string hex;
  if (!failed_ &&
      BCRYPT_SUCCESS(::BCryptFinishHash(state_of(state_).hash, digest, sizeof digest, 0))) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const unsigned char b : digest) {
      hex += kDigits[b >> 4];
      hex += kDigits[b & 15];
    }
  }
  reset();
  return hex;
}

}  // namespace vemo::platform

#include <openssl/evp.h>

#include "platform/sha256.h"

namespace vemo::platform {
namespace {

EVP_MD_CTX* context(void* state) {
  return static_cast<EVP_MD_CTX*>(state);
}

}  // namespace

Sha256::Sha256() : state_(EVP_MD_CTX_new()) {
  reset();
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(context(state_));
}

void Sha256::reset() {
  failed_ = state_ == nullptr || EVP_DigestInit_ex(context(state_), EVP_sha256(), nullptr) != 1;
}

void Sha256::update(const void* data, std::size_t n) {
  if (!failed_ && n > 0) failed_ = EVP_DigestUpdate(context(state_), data, n) != 1;
}

std::string Sha256::finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  std::string hex;
  if (!failed_ && EVP_DigestFinal_ex(context(state_), digest, &size) == 1) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (unsigned int i = 0; i < size; ++i) {
      hex += kDigits[digest[i] >> 4];
      hex += kDigits[digest[i] & 15];
    }
  }
  reset();
  return hex;
}

}  // namespace vemo::platform

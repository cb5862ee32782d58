#pragma once

#include <cstddef>
#include <string>

namespace vemo::platform {

// SHA-256 of a stream of bytes, through the system's own library (libcrypto on POSIX, which
// uses the processor's SHA instructions where there are any; bcrypt on Windows).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Starts a new digest.
  void reset();
  void update(const void* data, std::size_t n);
  // The digest of everything since reset(), as 64 lowercase hexadecimal digits; then reset().
  // Empty when the library failed.
  std::string finish();

 private:
  void* state_ = nullptr;
  bool failed_ = false;
};

}  // namespace vemo::platform

#include "core/errors.h"

#include <string>

namespace vemo {
namespace {

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "vemo"; }
  std::string message(int value) const override {
    switch (static_cast<Error>(value)) {
      case Error::kNotRegularFile:
        return "not a regular file";
      case Error::kInputIsOutput:
        return "it is the output file";
      case Error::kDamagedCut:
        return "the compressed data is damaged (cut short)";
      case Error::kDamagedCrc:
        return "the compressed data is damaged (bad CRC)";
      case Error::kDamagedChecksum:
        return "the compressed data is damaged (bad checksum)";
      case Error::kDamagedLength:
        return "the compressed data is damaged (bad length)";
      case Error::kDamagedHeader:
        return "the compressed data is damaged (bad header)";
      case Error::kDamagedData:
        return "the compressed data is damaged (invalid data)";
      case Error::kDamagedTrailing:
        return "the compressed data is damaged (garbage after the end)";
      case Error::kWindowTooLarge:
        return "the compressed data needs a window larger than 128 MiB, more than is allowed";
    }
    return "unknown error";
  }
};

}  // namespace

const std::error_category& error_category() noexcept {
  static const Category category;
  return category;
}

}  // namespace vemo

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

// The error of an ordered list asked for an item it does not have.
#pragma once

#include <string>

#include "common/mf_exception.h"

namespace mailferry {

class EListError : public EMfException {
 public:
  explicit EListError(const std::string& message) : EMfException(message) {}

  // "List index out of bounds (%d)" with the index that was asked for.
  static EListError IndexOutOfBounds(int index) {
    return EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
};

}  // namespace mailferry

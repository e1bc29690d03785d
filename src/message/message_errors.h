// Errors of the message model that carry their own fixed text.
#pragma once

#include "common/mf_exception.h"

namespace mailferry {

// An address header with an "@" after an address that was already closed by angle brackets.
class EMfEmailParseError : public EMfException {
 public:
  EMfEmailParseError() : EMfException("@ Outside address") {}
};

}  // namespace mailferry

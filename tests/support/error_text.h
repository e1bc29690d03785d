// The message of the error an action raises, for tests that compare exact error texts.
#pragma once

#include <string>
#include <utility>

#include "common/mf_exception.h"

namespace mailferry::testing {

// Runs fn and returns the text of the E it raised; "<nothing raised>" when it raised nothing.
// Any other exception passes through and fails the test.
template <typename E = EMfException, typename Fn>
std::string MessageOf(Fn&& fn) {
  try {
    std::forward<Fn>(fn)();
  } catch (const E& e) {
    return e.what();
  }
  return "<nothing raised>";
}

}  // namespace mailferry::testing

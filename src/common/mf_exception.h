// The root of the program's error family: every failure the system raises on purpose is an
// EMfException (or a class derived from it) carrying the exact text shown to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace mailferry {

class EMfException : public std::runtime_error {
 public:
  explicit EMfException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace mailferry

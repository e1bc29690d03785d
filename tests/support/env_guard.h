// Sets (or unsets) one environment variable for the life of the guard and restores it afterwards.
// Time-zone changes take effect at once. Not for tests that run threads reading the environment.
#pragma once

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

namespace mailferry::testing {

class EnvGuard {
 public:
  // A null value unsets the variable.
  EnvGuard(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = getenv(name_.c_str())) old_ = old;
    Apply(value);
  }
  ~EnvGuard() { Apply(old_ ? old_->c_str() : nullptr); }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  void Apply(const char* value) {
    if (value != nullptr) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
    tzset();
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace mailferry::testing

// A MachineStore held in memory, counting writes.
#pragma once

#include <string>

#include "platform/machine_store.h"

namespace mailferry::testing {

class FakeMachineStore : public MachineStore {
 public:
  explicit FakeMachineStore(std::string value = {}) : value_(std::move(value)) {}

  std::string Read() const override { return value_; }
  void Write(const std::string& value) override {
    if (writable_) value_ = value;
    ++writes_;
  }

  void set_writable(bool writable) { writable_ = writable; }
  int writes() const { return writes_; }
  const std::string& value() const { return value_; }

 private:
  std::string value_;
  bool writable_ = true;
  int writes_ = 0;
};

}  // namespace mailferry::testing

// The MachineStore port: the one per-machine text value that names the data directory.
#pragma once

#include <string>

namespace mailferry {

class MachineStore {
 public:
  virtual ~MachineStore() = default;

  // The stored value, opened read-only; a missing store or value gives empty text.
  virtual std::string Read() const = 0;

  // Stores the value, creating the store when missing. Silent when it cannot be written.
  virtual void Write(const std::string& value) = 0;
};

}  // namespace mailferry

// MachineStore kept as one text file, by default /etc/mailferry/datadir.
#pragma once

#include <filesystem>

#include "platform/machine_store.h"

namespace mailferry {

inline constexpr const char* kDefaultMachineStorePath = "/etc/mailferry/datadir";

class FileMachineStore : public MachineStore {
 public:
  explicit FileMachineStore(std::filesystem::path path = kDefaultMachineStorePath);

  std::string Read() const override;
  void Write(const std::string& value) override;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace mailferry

// Directories whose answers the test sets.
#pragma once

#include <set>
#include <string>

#include "platform/directories.h"

namespace mailferry::testing {

class FakeDirectories : public Directories {
 public:
  FakeDirectories(std::string executable_dir, std::string user_data_dir)
      : executable_dir_(std::move(executable_dir)), user_data_dir_(std::move(user_data_dir)) {}

  std::string ExecutableDir() const override { return executable_dir_; }
  std::string UserDataDir() const override { return user_data_dir_; }
  bool IsWritableDir(const std::string& dir) const override { return read_only_.count(dir) == 0; }

  void SetReadOnly(const std::string& dir) { read_only_.insert(dir); }

 private:
  std::string executable_dir_;
  std::string user_data_dir_;
  std::set<std::string> read_only_;
};

}  // namespace mailferry::testing

// A fresh temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

namespace mailferry::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as a data-directory prefix: its path with a trailing separator.
  std::string prefix() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

}  // namespace mailferry::testing

// TempFiles that makes real files in a folder the test names (so their content can be read back)
// and can be told to fail creating or writing them. Counts what it created and deleted.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/temp_files.h"

namespace mailferry::testing {

class FakeTempFiles : public TempFiles {
 public:
  explicit FakeTempFiles(std::string directory);

  // Create throws EMfException "Cannot create file ..." while set.
  void set_fail_create(bool fail) { fail_create_ = fail; }
  // Each file made from now on accepts this many bytes; the next write throws EMfException.
  void set_write_limit(std::optional<std::size_t> limit) { write_limit_ = limit; }

  TempFile Create() override;
  void Delete(const std::string& path) noexcept override;

  const std::vector<std::string>& created() const { return created_; }
  const std::vector<std::string>& deleted() const { return deleted_; }

 private:
  std::string directory_;
  bool fail_create_ = false;
  std::optional<std::size_t> write_limit_;
  std::vector<std::string> created_;
  std::vector<std::string> deleted_;
};

}  // namespace mailferry::testing

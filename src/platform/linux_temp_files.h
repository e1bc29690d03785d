// TempFiles on POSIX: mkstemp in $TMPDIR (or /tmp), mode 0600, written through a buffered file
// descriptor.
#pragma once

#include <string>
#include <vector>

#include "platform/temp_files.h"

namespace mailferry {

// $TMPDIR when set and not empty, else "/tmp".
std::string DefaultTempDirectory();

// A buffered sink over an open file descriptor, which it owns and closes. Errors name `path`.
class FdTempFileBuffer : public TempFileBuffer {
 public:
  FdTempFileBuffer(int fd, std::string path);
  ~FdTempFileBuffer() override;

  void Close() override;

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  void Flush();
  void WriteAll(const char* data, std::size_t size);
  [[noreturn]] void Fail(const char* what, int error) const;

  int fd_;
  std::string path_;
  std::vector<char> buffer_;
};

class LinuxTempFiles : public TempFiles {
 public:
  explicit LinuxTempFiles(std::string directory = DefaultTempDirectory());

  // Throws EMfException 'Cannot create file "<pattern>". <reason>' when mkstemp fails.
  TempFile Create() override;
  void Delete(const std::string& path) noexcept override;

  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
};

}  // namespace mailferry

#include "platform/linux_temp_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "common/mf_exception.h"

namespace mailferry {
namespace {

// Large attachments are written line by line; a buffer this size keeps that to few system calls.
constexpr std::size_t kBufferSize = 64 * 1024;

constexpr const char* kFileNamePattern = "mailferry-XXXXXX";

std::string ErrorText(int error) { return std::system_category().message(error); }

}  // namespace

std::string DefaultTempDirectory() {
  const char* tmpdir = getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') return tmpdir;
  return "/tmp";
}

FdTempFileBuffer::FdTempFileBuffer(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), buffer_(kBufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FdTempFileBuffer::~FdTempFileBuffer() {
  if (fd_ >= 0) ::close(fd_);
}

void FdTempFileBuffer::Close() {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
  const int result = ::close(fd_);
  fd_ = -1;
  // A delayed write error (a full disk, a network file system) may first show at close.
  if (result != 0 && errno != EINTR) Fail("write", errno);
}

FdTempFileBuffer::int_type FdTempFileBuffer::overflow(int_type ch) {
  Flush();
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
  }
  return traits_type::not_eof(ch);
}

std::streamsize FdTempFileBuffer::xsputn(const char* data, std::streamsize count) {
  const auto size = static_cast<std::size_t>(count);
  const auto room = static_cast<std::size_t>(epptr() - pptr());
  if (size <= room) {
    traits_type::copy(pptr(), data, size);
    pbump(static_cast<int>(size));
  } else {
    // Bigger than what is left: send the buffer and this block straight out.
    Flush();
    WriteAll(data, size);
  }
  return count;
}

int FdTempFileBuffer::sync() {
  Flush();
  return 0;
}

void FdTempFileBuffer::Flush() {
  const auto pending = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  WriteAll(buffer_.data(), pending);
}

void FdTempFileBuffer::WriteAll(const char* data, std::size_t size) {
  if (size > 0 && fd_ < 0) Fail("write", EBADF);
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("write", errno);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void FdTempFileBuffer::Fail(const char* what, int error) const {
  throw EMfException("Cannot " + std::string(what) + " file \"" + path_ + "\". " +
                     ErrorText(error));
}

LinuxTempFiles::LinuxTempFiles(std::string directory) : directory_(std::move(directory)) {}

TempFile LinuxTempFiles::Create() {
  std::string path = directory_;
  if (path.empty() || path.back() != '/') path += '/';
  path += kFileNamePattern;
  const std::string pattern = path;
  const int fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    throw EMfException("Cannot create file \"" + pattern + "\". " + ErrorText(error));
  }
  // mkstemp leaves the umask to narrow the mode further; the owner must keep reading and writing.
  ::fchmod(fd, S_IRUSR | S_IWUSR);
  return TempFile(*this, path, std::make_unique<FdTempFileBuffer>(fd, path));
}

void LinuxTempFiles::Delete(const std::string& path) noexcept { ::unlink(path.c_str()); }

TempFiles& SystemTempFiles() {
  static LinuxTempFiles temp_files;
  return temp_files;
}

}  // namespace mailferry

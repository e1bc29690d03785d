#include "platform/linux_file_replacer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace mailferry {
namespace {

// The folder part of path, keeping its trailing slash; empty for a bare file name.
std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class LinuxFileReplacement : public FileReplacement {
 public:
  LinuxFileReplacement(std::string target, std::string temp, int fd)
      : target_(std::move(target)), temp_(std::move(temp)), fd_(fd) {}

  ~LinuxFileReplacement() override {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temp_.c_str());
  }

  bool Write(std::string_view data) override {
    if (fd_ < 0) return false;
    while (!data.empty()) {
      const ssize_t n = write(fd_, data.data(), data.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  bool Commit() override {
    if (fd_ < 0) return false;
    // The content must be on disk before the rename makes it the file, or a crash could leave
    // an empty file where the old settings were.
    const bool synced = fsync(fd_) == 0;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed) return false;
    if (rename(temp_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    SyncFolder();
    return true;
  }

 private:
  // Makes the rename itself durable; a failure here no longer endangers the content.
  void SyncFolder() const {
    const std::string folder = FolderOf(target_);
    const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    fsync(dir);
    close(dir);
  }

  std::string target_;
  std::string temp_;
  int fd_;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<FileReplacement> LinuxFileReplacer::Begin(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::string name = path.substr(folder.size());
  // A hidden name in the same folder keeps the rename on one file system.
  std::string temp = folder + "." + name + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);  // mkostemp creates the file with mode 0600
  if (fd < 0) return nullptr;
  if (fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
    close(fd);
    unlink(temp.c_str());
    return nullptr;
  }
  return std::make_unique<LinuxFileReplacement>(path, std::move(temp), fd);
}

bool LinuxFileReplacer::Append(const std::string& path, std::string_view data) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) return false;
  bool ok = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  while (ok && !data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    ok = written > 0;
    if (ok) data.remove_prefix(static_cast<std::size_t>(written));
  }
  return close(fd) == 0 && ok;
}

FileReplacer& SystemFileReplacer() {
  static LinuxFileReplacer replacer;
  return replacer;
}

}  // namespace mailferry

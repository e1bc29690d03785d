#include "platform/linux_directories.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace mailferry {
namespace {

constexpr const char* kProgramFolder = "Mailferry/";

std::string WithSeparator(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

std::string HomeDir() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

}  // namespace

std::string LinuxDirectories::ExecutableDir() const {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(n));
      const auto slash = path.rfind('/');
      return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string LinuxDirectories::UserDataDir() const {
  // A relative XDG_DATA_HOME is invalid and must be ignored.
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return WithSeparator(xdg) + kProgramFolder;
  const std::string home = HomeDir();
  if (home.empty()) return {};
  return WithSeparator(home) + ".local/share/" + kProgramFolder;
}

bool LinuxDirectories::IsWritableDir(const std::string& dir) const {
  struct stat info {};
  if (dir.empty() || stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  return access(dir.c_str(), W_OK | X_OK) == 0;
}

const Directories& SystemDirectories() {
  static const LinuxDirectories directories;
  return directories;
}

}  // namespace mailferry

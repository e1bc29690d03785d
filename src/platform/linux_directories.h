// Directories over /proc/self/exe, the XDG environment and access(2).
#pragma once

#include "platform/directories.h"

namespace mailferry {

class LinuxDirectories : public Directories {
 public:
  std::string ExecutableDir() const override;
  std::string UserDataDir() const override;
  bool IsWritableDir(const std::string& dir) const override;
};

}  // namespace mailferry

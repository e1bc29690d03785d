// FileReplacer over POSIX files: mkstemp beside the target (mode 0600), fsync, rename.
#pragma once

#include "platform/file_replacer.h"

namespace mailferry {

class LinuxFileReplacer : public FileReplacer {
 public:
  std::unique_ptr<FileReplacement> Begin(const std::string& path) override;
  bool Append(const std::string& path, std::string_view data) override;
};

}  // namespace mailferry

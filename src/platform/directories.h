// The Directories port: the folders the program finds for itself (its executable's folder, the
// user's data folder) and whether a folder can be written.
#pragma once

#include <string>

namespace mailferry {

class Directories {
 public:
  virtual ~Directories() = default;

  // The folder of the running executable with its trailing separator; empty when unknown.
  virtual std::string ExecutableDir() const = 0;

  // The program's folder inside the user's data folder, with its trailing separator
  // ($XDG_DATA_HOME/Mailferry/, else ~/.local/share/Mailferry/); empty when there is no home.
  // The folder is not created.
  virtual std::string UserDataDir() const = 0;

  // True when dir names an existing folder in which this process may create files.
  virtual bool IsWritableDir(const std::string& dir) const = 0;
};

// The operating system's answers. Safe to call from any thread.
const Directories& SystemDirectories();

}  // namespace mailferry

// The commands of mailferryctl, the headless tool over the settings: they load the settings as
// the program does at start-up, edit them through the same table operations as the dialogs, and
// save them as the program does.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/directories.h"
#include "platform/file_replacer.h"
#include "platform/machine_store.h"

namespace mailferry {

struct ScanEnvironment;

// What the tool reaches outside itself.
struct CtlEnvironment {
  MachineStore& machine_store;  // used unless --data-dir is given
  const Directories& directories;
  FileReplacer& files;
  // What scan and preview reach (sockets, dial-up, clock, ...); nullptr: the process's own.
  const ScanEnvironment* scan = nullptr;
};

// The usage text that --help prints.
extern const char* const kMailferryCtlUsage;

// Runs one mailferryctl command line (args without the program name). Normal output goes to out;
// an error's message goes to err and the result is 1, with no file and no machine-store value
// changed. Returns the exit status.
int RunMailferryCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const CtlEnvironment& environment);

}  // namespace mailferry

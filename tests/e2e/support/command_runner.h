// Runs a program to completion with its output captured: the end-to-end harness's way of
// driving the mail server script. Test support only.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace mailferry::testing {

struct CommandResult {
  int exit_code = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out;     // everything written to standard output
  std::string err;     // everything written to standard error
};

// Runs argv[0] (looked up in PATH) with standard input on /dev/null and no descriptor of the
// caller besides the two output pipes, so a daemon it starts cannot hold the caller's files.
// Waits until the program has exited; one that runs longer than `bound` is killed and raises
// std::runtime_error, as does a program that cannot be started.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds bound = std::chrono::minutes(2));

}  // namespace mailferry::testing

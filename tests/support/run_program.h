// Runs a program to its end and collects what it wrote and how it ended.
#pragma once

#include <string>
#include <vector>

namespace mailferry::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs path with args (argv[0] is path), standard input empty, and waits for it to end.
ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args);

// Runs the built mailferryctl.
ProgramResult RunMailferryCtlProgram(const std::vector<std::string>& args);

}  // namespace mailferry::testing

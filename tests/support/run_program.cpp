#include "support/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

extern char** environ;

namespace mailferry::testing {

ProgramResult RunProgram(const std::string& path, const std::vector<std::string>& args) {
  // Output goes to files, so that neither stream can block the program while the other is read.
  TempDir capture;
  const std::string out_path = capture.prefix() + "out";
  const std::string err_path = capture.prefix() + "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + path);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  ProgramResult result;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFileBytes(out_path);
  result.err = ReadFileBytes(err_path);
  return result;
}

ProgramResult RunMailferryCtlProgram(const std::vector<std::string>& args) {
  return RunProgram(MAILFERRYCTL_PATH, args);
}

}  // namespace mailferry::testing

#include "e2e/support/command_runner.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

extern char** environ;

namespace mailferry::testing {
namespace {

class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_.data(), O_CLOEXEC) != 0) {
      throw std::runtime_error(std::string("pipe2: ") + strerror(errno));
    }
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int read_end() const { return fds_[0]; }
  int write_end() const { return fds_[1]; }
  void CloseRead() { Close(fds_[0]); }
  void CloseWrite() { Close(fds_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  std::array<int, 2> fds_{-1, -1};
};

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::string Describe(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& arg : argv) text += (text.empty() ? "" : " ") + arg;
  return text;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds bound) {
  if (argv.empty()) throw std::invalid_argument("RunCommand: no program");
  Pipe out;
  Pipe err;
  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), out.write_end(), 1);
  posix_spawn_file_actions_adddup2(actions.get(), err.write_end(), 2);
  // A test's own sockets must not leak into a long-lived server started by the command.
  posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int spawn_error = posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ);
  if (spawn_error != 0) {
    throw std::runtime_error("cannot start " + argv[0] + ": " + strerror(spawn_error));
  }
  out.CloseWrite();
  err.CloseWrite();

  CommandResult result;
  const auto deadline = std::chrono::steady_clock::now() + bound;
  std::array<pollfd, 2> fds{pollfd{out.read_end(), POLLIN, 0}, pollfd{err.read_end(), POLLIN, 0}};
  std::array<std::string*, 2> sinks{&result.out, &result.err};
  bool timed_out = false;
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    int ready = poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) break;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;  // end of output; the Pipe closes the descriptor
      }
    }
  }
  if (timed_out) kill(pid, SIGKILL);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timed_out) {
    throw std::runtime_error(Describe(argv) + " did not finish within " +
                             std::to_string(bound.count()) + " ms; killed\n" + result.err);
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace mailferry::testing

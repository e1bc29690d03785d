// A private Dovecot POP3 server on a free 127.0.0.1 port, with its mailboxes, configuration,
// logs and sockets in a fresh temporary folder. Test support only; needs root.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace mailferry::testing {

class DovecotServer {
 public:
  // Starts the server and returns once its port accepts connections. Raises
  // std::runtime_error with the reason (for example the Dovecot packages missing) otherwise;
  // nothing is left running then.
  DovecotServer();
  // Stops the server, waits until its processes are gone and removes the folder.
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  int port() const { return port_; }
  const std::filesystem::path& folder() const { return dir_.path(); }

  // Adds a mailbox that logs in with USER `name` and PASS `password`. Names are letters,
  // digits, ".", "_" and "-"; a password holds no ":" or line break.
  void AddUser(const std::string& name, const std::string& password);

  // Puts messages into the user's mailbox as they are (CR LF or LF line ends); the POP3
  // message numbers follow the order of delivery.
  void Deliver(const std::string& user, const std::string& message);
  void Deliver(const std::string& user, const std::vector<std::string>& messages);

  // The messages in the user's mailbox in delivery order, as stored.
  std::vector<std::string> ListMailbox(const std::string& user) const;
  // Polls the mailbox every 20 ms until it holds exactly `count` messages or `bound` has
  // passed, and returns its messages then (the caller checks the count). For changes the
  // server makes after a reply nobody waits for, such as the deletions at QUIT.
  std::vector<std::string> WaitForMailbox(
      const std::string& user, size_t count,
      std::chrono::milliseconds bound = std::chrono::seconds(30)) const;

 private:
  const std::filesystem::path& MaildirOf(const std::string& user) const;

  TempDir dir_;
  int port_ = 0;
  std::map<std::string, std::filesystem::path> maildirs_;
  int staged_ = 0;
};

}  // namespace mailferry::testing

#include "e2e/support/dovecot_server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "e2e/support/mail_servers_script.h"
#include "e2e/support/maildir.h"

namespace mailferry::testing {

DovecotServer::DovecotServer() {
  try {
    ScriptValues values = RunMailServersScript({"dovecot-start", dir_.path().string()});
    port_ = std::stoi(ScriptValue(values, "pop3_port"));
  } catch (...) {
    // The script stops what it started when it fails, but a failure after it returned (an
    // unreadable answer) must not leave a server behind the folder's removal.
    try {
      RunMailServersScript({"dovecot-stop", dir_.path().string()});
    } catch (...) {
    }
    throw;
  }
}

DovecotServer::~DovecotServer() {
  try {
    RunMailServersScript({"dovecot-stop", dir_.path().string()});
  } catch (const std::exception& e) {
    ADD_FAILURE() << "stopping Dovecot: " << e.what();
  }
}

void DovecotServer::AddUser(const std::string& name, const std::string& password) {
  ScriptValues values =
      RunMailServersScript({"dovecot-user", dir_.path().string(), name, password});
  maildirs_[name] = ScriptValue(values, "maildir");
}

void DovecotServer::Deliver(const std::string& user, const std::string& message) {
  Deliver(user, std::vector<std::string>{message});
}

void DovecotServer::Deliver(const std::string& user, const std::vector<std::string>& messages) {
  MaildirOf(user);
  // Staged as files so that one run of the script delivers the whole batch in order.
  std::filesystem::path staging = dir_.path() / "staging";
  std::filesystem::create_directories(staging);
  std::vector<std::string> args{"dovecot-deliver", dir_.path().string(), user};
  for (const std::string& message : messages) {
    std::filesystem::path file = staging / std::to_string(staged_++);
    std::ofstream out(file, std::ios::binary);
    out.write(message.data(), static_cast<std::streamsize>(message.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
    args.push_back(file.string());
  }
  try {
    RunMailServersScript(args);
  } catch (...) {
    std::filesystem::remove_all(staging);
    throw;
  }
  std::filesystem::remove_all(staging);
}

std::vector<std::string> DovecotServer::ListMailbox(const std::string& user) const {
  std::vector<std::string> messages;
  for (MaildirFile& file : ReadMaildir(MaildirOf(user))) messages.push_back(std::move(file.bytes));
  return messages;
}

std::vector<std::string> DovecotServer::WaitForMailbox(const std::string& user, size_t count,
                                                       std::chrono::milliseconds bound) const {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    std::vector<std::string> messages = ListMailbox(user);
    if (messages.size() == count || std::chrono::steady_clock::now() >= deadline) return messages;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

const std::filesystem::path& DovecotServer::MaildirOf(const std::string& user) const {
  auto it = maildirs_.find(user);
  if (it == maildirs_.end()) throw std::invalid_argument("no Dovecot user " + user);
  return it->second;
}

}  // namespace mailferry::testing

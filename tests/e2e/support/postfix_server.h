// A private Postfix SMTP server on a free 127.0.0.1 port that stores every message for the
// domain stored_domain() and refuses every other domain at RCPT (554), with its queue,
// configuration, logs and store in a fresh temporary folder. Test support only; needs root.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace mailferry::testing {

// One stored delivery: Postfix stores a copy per recipient.
struct StoredMessage {
  std::string raw;        // the file as stored: LF line ends, delivery trace lines on top
  std::string sender;     // the envelope sender (MAIL FROM), without angle brackets
  std::string recipient;  // the envelope recipient (RCPT TO) as the client wrote it
  std::string text;       // the message as the client transmitted it after DATA: trace
                          // lines removed, CR LF line ends, dots unstuffed
};

class PostfixServer {
 public:
  // Starts the server and returns once its port accepts connections. Raises
  // std::runtime_error with the reason (for example the postfix package missing) otherwise;
  // nothing is left running then.
  PostfixServer();
  // Stops the server, waits until its processes are gone and removes the folder.
  ~PostfixServer();
  PostfixServer(const PostfixServer&) = delete;
  PostfixServer& operator=(const PostfixServer&) = delete;

  int port() const { return port_; }
  const std::filesystem::path& folder() const { return dir_.path(); }
  // Mail for any address of this domain is stored.
  const std::string& stored_domain() const { return stored_domain_; }
  // Any address of this domain (like any other) is refused at RCPT with 554.
  const std::string& refused_domain() const { return refused_domain_; }

  // Every stored delivery, oldest first.
  std::vector<StoredMessage> ReceivedMessages() const;
  // The stored deliveries to `recipient` (letter case ignored), oldest first.
  std::vector<StoredMessage> ReceivedMessages(const std::string& recipient) const;
  // Polls the store every 20 ms until `recipient` has at least `count` deliveries or `bound`
  // has passed, and returns that recipient's deliveries then (the caller checks the count).
  std::vector<StoredMessage> WaitForMessages(
      const std::string& recipient, size_t count,
      std::chrono::milliseconds bound = std::chrono::seconds(30)) const;
  // Polls every 20 ms until the server's queue is empty, that is every message it accepted has
  // been stored, or `bound` has passed; returns whether the queue emptied. After a client has
  // seen its messages accepted, this makes ReceivedMessages final, so a test can also tell that
  // nothing more arrives.
  bool WaitUntilQueueEmpty(std::chrono::milliseconds bound = std::chrono::seconds(30)) const;
  // Removes every stored delivery.
  void ClearReceived();

 private:
  TempDir dir_;
  int port_ = 0;
  std::filesystem::path store_;
  std::string stored_domain_;
  std::string refused_domain_;
};

// Splits a delivery as Postfix stores it into the parts of StoredMessage.
StoredMessage ParseStoredMessage(std::string raw);

}  // namespace mailferry::testing

// TMfPOP3: the POP3 client (RFC 1939) with which a scan logs into a mailbox, counts, lists,
// retrieves and deletes its messages.
//
// Used by one thread. Login failures close the client (QUIT, close) before they propagate;
// other failures leave it as the line connection does, and the caller closes it.
#pragma once

#include <map>
#include <string>

#include "transport/message_client.h"

namespace mailferry {

class TMfPOP3 : public TMfMessageClient {
 public:
  // Port preset to 110.
  explicit TMfPOP3(SocketLayer& layer = SocketLayer::Process());

  const std::string& Username() const { return username_; }
  void SetUsername(std::string username) { username_ = std::move(username); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  // Log in with APOP instead of USER and PASS.
  bool APOP() const { return apop_; }
  void SetAPOP(bool apop) { apop_ = apop; }

  // Connects, reads the greeting and logs in. Any failure after the TCP connection was made
  // first closes the client (QUIT when the socket is still open) and then propagates.
  void OpenConnection(int timeout = -1) override;

  // ReadReply, then "+OK" gives code 1 and "-ERR" code 2 (letter case ignored); any other reply
  // raises "Unrecognized POP3 Response Header:" with the reply text. Then the code check.
  int AwaitReply(const AllowedReplies& allowed) override;

  // QUIT when connected (the reply is not read), then close in every case; an error of the QUIT
  // propagates after the close. Deletions become final with the QUIT.
  void CloseConnection() override;

  // STAT: the number of messages.
  int CountMessages();

  // RETR: on "+OK" the message reads itself from the connection; on "-ERR" nothing more is read
  // and the message is left as passed. Returns whether the server answered "+OK".
  bool RetrieveMessage(int number, MessageReader& message);

  // DELE; a "-ERR" raises.
  bool DeleteMessage(int number);

  // UIDL: message number -> unique id. Empty when the server answers "-ERR" (it does not know
  // the command). Malformed listing lines are left out.
  std::map<int, std::string> UniqueIds();

  // True after a retrieval failed before its "." line was read.
  bool RetrievalPending() const { return retrieval_pending_; }

  // Reads and discards the rest of a failed retrieval up to its "." line, whatever its line
  // lengths, so that the conversation can go on with the next command. Does nothing when no
  // retrieval is pending. Meant for failures of the message itself (an over-long line, a
  // header it cannot parse); after a transport failure (closed, socket error, time-out) the
  // conversation is over and draining raises or waits again.
  void DrainMessage();

 private:
  std::string username_;
  std::string password_;
  bool apop_ = false;
  bool retrieval_pending_ = false;
};

}  // namespace mailferry

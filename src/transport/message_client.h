// TMfMessageClient: a TCP client that hands its connection to a message for reading or writing,
// and the two interfaces a message offers for that (the message model implements them).
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "transport/tcp_client.h"

namespace mailferry {

// A message that reads itself from a POP3 retrieval.
class MessageReader {
 public:
  virtual ~MessageReader() = default;
  // Called after a positive RETR reply: reads the message's lines from the connection up to and
  // including the line "." alone. Raises on failure; the rest of the message then stays unread.
  virtual void ReceiveMessage(TMfTCPConnection& connection) = 0;
};

// The envelope of one mail transaction: the sender and the recipients of To, Cc and Bcc, each
// list in its own order, as plain addresses.
struct MailEnvelope {
  std::string from;
  std::vector<std::string> to;
  std::vector<std::string> cc;
  std::vector<std::string> bcc;
};

// A message that writes itself into an SMTP transfer.
class MessageWriter {
 public:
  virtual ~MessageWriter() = default;
  virtual MailEnvelope Envelope() const = 0;
  // Sets the value of a header the message appends after its own when it is written; an empty
  // value removes it.
  virtual void SetExtraHeader(const std::string& name, const std::string& value) = 0;
  // Writes the header lines, an empty line and the body, every line ending in CR LF and lines
  // starting with "." doubled; not the final "." line.
  virtual void WriteMessage(TMfTCPConnection& connection) = 0;
};

class TMfMessageClient : public TMfTCPClient {
 public:
  explicit TMfMessageClient(SocketLayer& layer = SocketLayer::Process()) : TMfTCPClient(layer) {}

 protected:
  void ReceiveMessage(MessageReader& message) { message.ReceiveMessage(*this); }
  void WriteMessage(MessageWriter& message) { message.WriteMessage(*this); }

  // Ends a conversation: writes QUIT when connected (the reply is not awaited) and closes the
  // connection in any case. A failure of the QUIT is returned, not raised, so that the caller can
  // reset its own state before raising it.
  std::exception_ptr WriteQuitAndClose();
};

}  // namespace mailferry

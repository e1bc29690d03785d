// The transport's exception family under EMfException, each with its fixed message text, and
// the texts of the socket error numbers.
#pragma once

#include <string>

#include "common/mf_exception.h"
#include "platform/socket_stack.h"

namespace mailferry {

// A failure that is part of normal operation (the peer closed the connection).
class EMfSilentException : public EMfException {
 public:
  using EMfException::EMfException;
};

class EMfConnClosedGracefully : public EMfSilentException {
 public:
  EMfConnClosedGracefully() : EMfSilentException("Connection Closed Gracefully.") {}
};

class EMfAlreadyConnected : public EMfException {
 public:
  EMfAlreadyConnected() : EMfException("Already connected.") {}
};

class EMfInvalidSocket : public EMfException {
 public:
  EMfInvalidSocket() : EMfException("Cannot allocate socket.") {}
};

class EMfCouldNotBindSocket : public EMfException {
 public:
  EMfCouldNotBindSocket()
      : EMfException("Could not bind socket. Address and port are already in use.") {}
};

class EMfNotConnected : public EMfException {
 public:
  EMfNotConnected() : EMfException("Not Connected") {}
};

class EMfReadTimeout : public EMfException {
 public:
  EMfReadTimeout() : EMfException("Read Timeout") {}
};

class EMfReadLnMaxLineLengthExceeded : public EMfException {
 public:
  EMfReadLnMaxLineLengthExceeded() : EMfException("Max line length exceeded.") {}
};

class EMfClosedSocket : public EMfException {
 public:
  EMfClosedSocket() : EMfException("Disconnected.") {}
};

class EMfObjectTypeNotSupported : public EMfException {
 public:
  EMfObjectTypeNotSupported() : EMfException("Object type not supported.") {}
};

class EMfNoDataToRead : public EMfException {
 public:
  EMfNoDataToRead() : EMfException("No data to read.") {}
};

class EMfStackInitializationFailed : public EMfException {
 public:
  EMfStackInitializationFailed() : EMfException("Winsock Initialization Error.") {}
};

// A socket or resolver failure: "Socket Error # <code>" CR LF <text of the code>.
class EMfSocketError : public EMfException {
 public:
  explicit EMfSocketError(SocketErrorCode code);
  SocketErrorCode ErrorCode() const { return code_; }

 private:
  SocketErrorCode code_;
};

// A server reply whose code the command does not allow; the message is the reply's text lines,
// each followed by CR LF.
class EMfProtocolReplyError : public EMfException {
 public:
  EMfProtocolReplyError(int reply_code, const std::string& message)
      : EMfException(message), reply_code_(reply_code) {}
  int ReplyErrorCode() const { return reply_code_; }

 private:
  int reply_code_;
};

// Text that should have been a decimal integer: "'<text>' is not a valid integer value".
class EMfConvertError : public EMfException {
 public:
  explicit EMfConvertError(const std::string& text)
      : EMfException("'" + text + "' is not a valid integer value") {}
};

// The text that follows a socket error number in messages; empty for an unlisted number.
const char* SocketErrorText(SocketErrorCode code);

}  // namespace mailferry

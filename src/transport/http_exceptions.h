// The HTTP client's own failures, beside the line connection's family.
#pragma once

#include <string>

#include "transport/transport_exceptions.h"

namespace mailferry {

// A response that is not a success, redirects included: the status code, the status line as the
// message and the response body as the error text.
class EMfHTTPProtocolException : public EMfProtocolReplyError {
 public:
  EMfHTTPProtocolException(int status_code, const std::string& status_line, std::string body)
      : EMfProtocolReplyError(status_code, status_line), error_message_(std::move(body)) {}
  const std::string& ErrorMessage() const { return error_message_; }

 private:
  std::string error_message_;
};

// A URL whose scheme has no default port and that names none.
class EMfUnknownProtocol : public EMfException {
 public:
  EMfUnknownProtocol() : EMfException("Unknown Protocol") {}
};

// A response larger than the client holds: a header block or a body beyond its limit.
class EMfHTTPResponseTooLarge : public EMfException {
 public:
  using EMfException::EMfException;
};

inline constexpr char kHeaderBlockTooLargeText[] = "HTTP header block too large.";
inline constexpr char kBodyTooLargeText[] = "HTTP response body too large.";

}  // namespace mailferry

// Splitting an HTTP URL into the parts a GET request needs: scheme, credentials, host, port,
// path, document and query.
#pragma once

#include <string>
#include <string_view>

#include "common/mf_exception.h"

namespace mailferry {

struct HttpUrl {
  std::string protocol;  // as written, e.g. "http"; empty when the URL names none
  std::string username;
  std::string password;
  std::string host;
  int port = 0;
  // Up to and including the last "/" before the query (or before an "=" when there is no
  // query); at least "/".
  std::string path;
  std::string document;
  // From the "?" on, the "?" included; empty without one.
  std::string query;

  // What follows the method in the request line, e.g. "/Mailferry/TestVersion.asp?version=1.00".
  std::string RequestTarget() const { return path + document + query; }
};

// A port in a URL that is not a number from 1 to 65535.
class EMfInvalidPort : public EMfException {
 public:
  explicit EMfInvalidPort(std::string_view text)
      : EMfException("Invalid port number: '" + std::string(text) + "'") {}
};

// Splits url: backslashes count as "/", a "#" part is cut off, an "@" before the host separates
// user name and password. Without a port, http gives 80 and https 443; any other scheme (or none)
// raises EMfUnknownProtocol. A port that is not a number from 1 to 65535 raises EMfInvalidPort.
HttpUrl SplitUrl(std::string_view url);

}  // namespace mailferry

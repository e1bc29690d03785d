// The HTTP client's cookie store: cookies set by responses, kept for the life of one client and
// sent back with later requests to the host they belong to.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace mailferry {

struct HttpCookie {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
  // Local date-time after which the cookie is gone; none: it lives as long as the store.
  std::optional<double> expires;
  bool secure = false;
};

// Used by the one thread of its client; the clock must outlive the store.
class HttpCookieStore {
 public:
  explicit HttpCookieStore(const Clock& clock) : clock_(clock) {}

  // Takes the value of one Set-cookie or Set-cookie2 header received for a request to
  // request_host whose path part (up to and including its last "/") was request_path. The part
  // before the first ";" is name=value; path, expires, domain, secure and max-age are read from
  // the rest (letter case ignored; max-age counts only without expires). A cookie without domain
  // takes the request host, one without path the request path. The cookie is kept only when its
  // domain fits the host: equal to it, or, for a domain with a leading "." and a host that is not
  // an IP address, equal to the host from its first "." on. It replaces a cookie of the same
  // domain and name; one that has already expired only removes that cookie.
  void SetCookie(std::string_view header_value, std::string_view request_host,
                 std::string_view request_path);

  // Drops the expired cookies, then returns the Cookie header value for a request to host with
  // that path part: "name=value" of every cookie that belongs to the host, whose path is a prefix
  // of request_path, whose value is not empty and which is not secure, longest path first,
  // joined by "; ". Empty when none qualifies.
  std::string CookieHeader(std::string_view host, std::string_view request_path);

  const std::vector<HttpCookie>& Cookies() const { return cookies_; }

 private:
  void DropExpired();

  const Clock& clock_;
  std::vector<HttpCookie> cookies_;
};

// A cookie date ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6
// 08:49:37 1994" and the like, always UTC) as days since 1899-12-30 in UTC; nullopt when it
// cannot be read.
std::optional<double> ParseCookieDate(std::string_view text);

}  // namespace mailferry

#include "transport/http_url.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "transport/http_constants.h"
#include "transport/http_exceptions.h"

namespace mailferry {
namespace {

int ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    throw EMfInvalidPort(text);
  }
  int port = 0;
  for (const char c : text) port = port * 10 + (c - '0');
  if (port < 1 || port > 65535) throw EMfInvalidPort(text);
  return port;
}

}  // namespace

HttpUrl SplitUrl(std::string_view url) {
  std::string text(url);
  std::replace(text.begin(), text.end(), '\\', '/');
  if (const std::size_t hash = text.find('#'); hash != std::string::npos) text.resize(hash);

  HttpUrl result;
  std::string_view rest = text;
  if (const std::size_t scheme_end = rest.find("://"); scheme_end != std::string_view::npos) {
    result.protocol = std::string(rest.substr(0, scheme_end));
    rest.remove_prefix(scheme_end + 3);

    const std::size_t authority_end = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authority_end);
    rest =
        authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
      const std::string_view credentials = authority.substr(0, at);
      const std::size_t colon = credentials.find(':');
      result.username = std::string(credentials.substr(0, colon));
      if (colon != std::string_view::npos) {
        result.password = std::string(credentials.substr(colon + 1));
      }
      authority.remove_prefix(at + 1);
    }
    if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
      const std::string_view port_text = authority.substr(colon + 1);
      if (!port_text.empty()) result.port = ParsePort(port_text);
      authority = authority.substr(0, colon);
    }
    result.host = std::string(authority);
  }

  std::string resource(rest);
  if (resource.empty() || resource.front() != '/') resource.insert(0, "/");
  const std::size_t query_start = resource.find('?');
  const std::size_t boundary = query_start != std::string::npos ? query_start : resource.find('=');
  // There is always a "/" at the front, so the search finds one.
  const std::size_t last_slash =
      resource.rfind('/', boundary == std::string::npos ? std::string::npos : boundary);
  result.path = resource.substr(0, last_slash + 1);
  result.document = resource.substr(last_slash + 1, query_start == std::string::npos
                                                        ? std::string::npos
                                                        : query_start - last_slash - 1);
  if (query_start != std::string::npos) result.query = resource.substr(query_start);

  if (result.port == 0) {
    if (SameTextAscii(result.protocol, "http")) {
      result.port = kDefaultHttpPort;
    } else if (SameTextAscii(result.protocol, "https")) {
      result.port = kDefaultHttpsPort;
    } else {
      throw EMfUnknownProtocol();
    }
  }
  return result;
}

}  // namespace mailferry

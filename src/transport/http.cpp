#include "transport/http.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "common/ascii_text.h"
#include "transport/decimal_text.h"

namespace mailferry {
namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

// Whether a comma-separated header value lists token (letter case and blanks ignored).
bool ListsToken(std::string_view value, std::string_view token) {
  for (std::size_t start = 0; start <= value.size();) {
    std::size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) comma = value.size();
    if (SameTextAscii(Trim(value.substr(start, comma - start)), token)) return true;
    start = comma + 1;
  }
  return false;
}

// A count of decimal digits and nothing else; saturates at INT64_MAX. nullopt otherwise.
std::optional<std::int64_t> DecimalCount(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    value = value > (kInt64Max - digit) / 10 ? kInt64Max : value * 10 + digit;
  }
  return value;
}

// A chunk size: hexadecimal digits, saturating at INT64_MAX; anything else counts as 0.
std::int64_t ChunkSize(std::string_view line) {
  line = line.substr(0, line.find_first_of(" \t;"));
  line = Trim(line);
  if (line.empty()) return 0;
  std::int64_t value = 0;
  for (const char c : line) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return 0;
    }
    value = value > (kInt64Max - digit) / 16 ? kInt64Max : value * 16 + digit;
  }
  return value;
}

// Statuses that never carry a body.
bool IsBodiless(int code) { return (code >= 100 && code <= 199) || code == 204 || code == 304; }

// Blanks, control characters and 8-bit bytes of a request target as %XX, so that no URL can
// break the request line or smuggle in header lines.
std::string EncodeRequestTarget(std::string_view target) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(target.size());
  for (const char c : target) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) {
      encoded += '%';
      encoded += kHex[u >> 4];
      encoded += kHex[u & 15];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

// The URL a Location header points to, seen from the request that received it.
HttpUrl ResolveLocation(const HttpUrl& base, const std::string& location) {
  if (location.find("://") != std::string::npos) return SplitUrl(location);
  const std::string target =
      !location.empty() && location.front() == '/' ? location : base.path + location;
  return SplitUrl(base.protocol + "://" + base.host + ":" + std::to_string(base.port) + target);
}

}  // namespace

std::int64_t TMfHTTPResponse::ContentLength() const {
  if (raw_headers_.IndexOfName("Content-Length") < 0) return -1;
  return DecimalCount(Trim(raw_headers_.GetValue("Content-Length"))).value_or(-1);
}

void TMfHTTPResponse::Clear() {
  response_text_.clear();
  response_code_ = -1;
  raw_headers_.Clear();
}

TMfHTTP::TMfHTTP(SocketLayer& layer, const Clock& clock) : TMfTCPClient(layer), clock_(clock) {
  SetPort(kDefaultHttpPort);
}

TMfHTTP::~TMfHTTP() { CloseConnection(); }

std::string TMfHTTP::FetchUrl(std::string_view url) {
  HttpUrl target = SplitUrl(url);
  for (int followed = 0;; ++followed) {
    Outcome outcome = DoRequest(target);
    if (outcome.success) return std::move(outcome.body);
    if (outcome.redirect && handle_redirects_ && !outcome.location.empty() &&
        followed < kMaxHttpRedirects) {
      target = ResolveLocation(target, outcome.location);
      continue;
    }
    throw EMfHTTPProtocolException(response_.ResponseCode(), response_.ResponseText(),
                                   std::move(outcome.body));
  }
}

TMfHTTP::Outcome TMfHTTP::DoRequest(const HttpUrl& url) {
  PrepareConnection(url);
  Outcome outcome;
  bool reusable = false;
  try {
    SendRequest(url);
    const bool headers_complete = ReadResponseHead(url);
    const int code = response_.ResponseCode();
    outcome.location = response_.Location();
    outcome.redirect = (code >= 300 && code <= 399 && code != 304) || !outcome.location.empty();
    outcome.success = !outcome.redirect && code >= 200 && code <= 299;
    if (!outcome.success) {
      const bool complete = !headers_complete || IsBodiless(code) || ReadErrorBody(&outcome.body);
      reusable = headers_complete && complete && ConnectionReusable();
    } else {
      if (!headers_complete) throw EMfException("Undefined situation");
      if (code != 204) ReadBody(&outcome.body);
      reusable = ConnectionReusable();
    }
  } catch (...) {
    // A response broken off anywhere leaves unread bytes behind: the connection cannot serve
    // another request.
    CloseConnection();
    throw;
  }
  if (!reusable) CloseConnection();
  return outcome;
}

void TMfHTTP::PrepareConnection(const HttpUrl& url) {
  if (url.host != Host() || url.port != Port()) {
    CloseConnection();
    SetHost(url.host);
    SetPort(url.port);
  }
  if (IsConnected()) {
    CheckForDisconnect();
    // Bytes that arrive unasked belong to no request; the next response would be read wrongly.
    if (InputBufferSize() > 0) CloseConnection();
  }
  if (!IsConnected()) OpenConnection(connect_timeout_ > 0 ? connect_timeout_ : -1);
}

void TMfHTTP::SendRequest(const HttpUrl& url) {
  TMfHeaderList& headers = request_.MutableRawHeaders();
  headers.Clear();
  const auto add = [&headers](std::string_view name, const std::string& value) {
    if (!value.empty()) headers.Add(std::string(name) + ": " + value);
  };
  add("Connection", request_.Connection());
  add("Content-Type", request_.ContentType());
  add("Host", url.port == kDefaultHttpPort ? url.host : url.host + ":" + std::to_string(url.port));
  add("Accept", request_.Accept());
  add("User-Agent", request_.UserAgent());
  if (allow_cookies_ && cookies_) add("Cookie", cookies_->CookieHeader(url.host, url.path));

  std::string block =
      "GET " + EncodeRequestTarget(url.RequestTarget()) + " HTTP/" + kHttpProtocolVersion + "\r\n";
  for (const std::string& line : headers.Lines()) block += line + "\r\n";
  block += "\r\n";
  WriteBytes(block);
  Flush();
}

bool TMfHTTP::ReadResponseHead(const HttpUrl& url) {
  header_budget_ = {};
  bool complete = true;
  do {
    response_.Clear();
    response_.response_text_ = ReadLine();
    CountHeaderLine(response_.response_text_);
    const std::string& status = response_.response_text_;
    const std::size_t first = status.find(' ');
    if (first != std::string::npos) {
      const std::size_t second = status.find(' ', first + 1);
      const std::string_view field = std::string_view(status).substr(
          first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
      response_.response_code_ = DecimalToInt(field).value_or(-1);
    }
    try {
      for (;;) {
        std::string line = ReadLine();
        if (line.empty()) break;
        CountHeaderLine(line);
        response_.raw_headers_.Add(std::move(line));
      }
    } catch (const EMfConnClosedGracefully&) {
      complete = false;
    }
  } while (complete && response_.ResponseCode() == 100);
  TakeCookies(url);
  return complete;
}

void TMfHTTP::CountHeaderLine(const std::string& line) {
  ++header_budget_.lines;
  header_budget_.bytes += line.size() + 2;
  if (header_budget_.lines > kMaxHttpHeaderLines || header_budget_.bytes > kMaxHttpHeaderBytes) {
    throw EMfHTTPResponseTooLarge(kHeaderBlockTooLargeText);
  }
}

void TMfHTTP::TakeCookies(const HttpUrl& url) {
  if (!allow_cookies_) return;
  if (!cookies_) cookies_ = std::make_unique<HttpCookieStore>(clock_);
  std::vector<std::string> values;
  response_.RawHeaders().ExtractValues("Set-cookie", &values);
  response_.RawHeaders().ExtractValues("Set-cookie2", &values);
  for (const std::string& value : values) cookies_->SetCookie(value, url.host, url.path);
}

void TMfHTTP::ReadBody(std::string* body) {
  const std::int64_t length = response_.ContentLength();
  if (length > 0) {
    CheckBodyRoom(*body, length);
    ReadCounted(length, body);
  } else if (ListsToken(response_.TransferEncoding(), "chunked")) {
    ReadChunked(body);
  } else if (length < 0) {
    ReadToClose(body);
  }
}

bool TMfHTTP::ReadErrorBody(std::string* body) {
  const int saved_timeout = ReadTimeout();
  SetReadTimeout(kErrorBodyReadTimeoutMs);
  bool complete = true;
  try {
    ReadBody(body);
  } catch (const EMfException&) {
    // The body is only the error's explanation: what arrived is kept, the status still counts.
    complete = false;
  }
  SetReadTimeout(saved_timeout);
  return complete;
}

void TMfHTTP::CheckBodyRoom(const std::string& body, std::int64_t more) const {
  const auto held = static_cast<std::int64_t>(body.size());
  if (more > max_body_size_ - held) throw EMfHTTPResponseTooLarge(kBodyTooLargeText);
}

bool TMfHTTP::ReadCounted(std::int64_t count, std::string* body) {
  while (count > 0) {
    if (InputBufferSize() == 0 && FillInputBuffer(false) <= 0) return false;
    const auto buffered = static_cast<std::int64_t>(InputBufferSize());
    count -= static_cast<std::int64_t>(
        ExtractInput(static_cast<std::size_t>(std::min(count, buffered)), body));
  }
  return true;
}

void TMfHTTP::ReadChunked(std::string* body) {
  for (;;) {
    const std::int64_t size = ChunkSize(ReadLine());
    if (size == 0) break;
    CheckBodyRoom(*body, size);
    if (!ReadCounted(size, body)) throw EMfConnClosedGracefully();
    ReadLine();
  }
  // Trailer lines up to the empty line that ends the body; a server that closes instead has
  // still sent the whole body.
  try {
    for (;;) {
      const std::string line = ReadLine();
      if (line.empty()) break;
      CountHeaderLine(line);
    }
  } catch (const EMfConnClosedGracefully&) {
  }
}

void TMfHTTP::ReadToClose(std::string* body) {
  for (;;) {
    CheckBodyRoom(*body, static_cast<std::int64_t>(InputBufferSize()));
    ExtractInput(InputBufferSize(), body);
    if (FillInputBuffer(false) <= 0) return;
  }
}

bool TMfHTTP::ConnectionReusable() {
  if (!IsConnected()) return false;
  const std::string connection = response_.Connection();
  const std::string proxy_connection = response_.ProxyConnection();
  if (ListsToken(connection, "close") || ListsToken(proxy_connection, "close")) return false;
  // An HTTP/1.0 server closes after each response unless it says otherwise.
  if (response_.ResponseText().rfind("HTTP/1.0", 0) == 0) {
    return ListsToken(connection, "keep-alive") || ListsToken(proxy_connection, "keep-alive");
  }
  return true;
}

}  // namespace mailferry

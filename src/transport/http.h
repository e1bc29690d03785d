// TMfHTTP: the small HTTP/1.1 GET client of the update check, over the line connection. It keeps
// the connection open between requests when the server allows it and keeps the cookies the
// server sets for as long as the client lives.
//
// A client belongs to the thread that uses it. FetchUrl raises EMfHTTPProtocolException for every
// status other than 2xx and for every redirect that is not followed, EMfException "Undefined
// situation" for a success whose header block the server cut off, EMfUnknownProtocol and
// EMfInvalidPort for URLs it cannot use, EMfHTTPResponseTooLarge beyond its limits, and the line
// connection's failures. After any failure the client can serve the next request.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "message/header_list.h"
#include "platform/clock.h"
#include "transport/http_constants.h"
#include "transport/http_cookies.h"
#include "transport/http_exceptions.h"
#include "transport/http_url.h"
#include "transport/tcp_client.h"

namespace mailferry {

// The request header fields the client sends; empty fields are left out.
class TMfHTTPRequest {
 public:
  const std::string& Accept() const { return accept_; }
  void SetAccept(std::string value) { accept_ = std::move(value); }
  const std::string& UserAgent() const { return user_agent_; }
  void SetUserAgent(std::string value) { user_agent_ = std::move(value); }
  const std::string& ContentType() const { return content_type_; }
  void SetContentType(std::string value) { content_type_ = std::move(value); }
  const std::string& Connection() const { return connection_; }
  void SetConnection(std::string value) { connection_ = std::move(value); }

  // The header lines of the last request sent, in the order they went out.
  const TMfHeaderList& RawHeaders() const { return raw_headers_; }
  TMfHeaderList& MutableRawHeaders() { return raw_headers_; }

 private:
  std::string accept_ = kDefaultHttpAccept;
  std::string user_agent_ = kDefaultHttpUserAgent;
  std::string content_type_ = kDefaultHttpContentType;
  std::string connection_;
  TMfHeaderList raw_headers_;
};

// The status and header fields of the last response read.
class TMfHTTPResponse {
 public:
  // The status line as received, e.g. "HTTP/1.1 404 Not Found".
  const std::string& ResponseText() const { return response_text_; }
  // The second space-separated field of the status line; -1 when it is not a decimal number.
  int ResponseCode() const { return response_code_; }
  const TMfHeaderList& RawHeaders() const { return raw_headers_; }

  std::string Location() const { return raw_headers_.GetValue("Location"); }
  std::string Connection() const { return raw_headers_.GetValue("Connection"); }
  std::string ProxyConnection() const { return raw_headers_.GetValue("Proxy-Connection"); }
  std::string TransferEncoding() const { return raw_headers_.GetValue("Transfer-Encoding"); }
  // The Content-Length as a count of bytes; -1 when absent or not a decimal count.
  // INT64_MAX stands for a count too large to hold.
  std::int64_t ContentLength() const;

 private:
  friend class TMfHTTP;
  void Clear();

  std::string response_text_;
  int response_code_ = -1;
  TMfHeaderList raw_headers_;
};

class TMfHTTP : public TMfTCPClient {
 public:
  // Port preset to 80, no redirects followed, cookies allowed. The clock dates the cookies and
  // must outlive the client.
  explicit TMfHTTP(SocketLayer& layer = SocketLayer::Process(), const Clock& clock = SystemClock());
  ~TMfHTTP() override;

  // GET of url; returns the response body (empty for an empty body). Host and port follow the
  // URL; a connection to another host or port is closed first, and a kept connection is reused
  // after giving the server a moment to show it closed it.
  std::string FetchUrl(std::string_view url);

  // Off by default: a redirect raises EMfHTTPProtocolException. On: up to kMaxHttpRedirects
  // Location headers are followed, then the last redirect raises.
  bool HandleRedirects() const { return handle_redirects_; }
  void SetHandleRedirects(bool on) { handle_redirects_ = on; }
  bool AllowCookies() const { return allow_cookies_; }
  void SetAllowCookies(bool on) { allow_cookies_ = on; }
  // Milliseconds a connect may take; 0 waits as long as the operating system does.
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int milliseconds) { connect_timeout_ = milliseconds; }
  // The largest body a response may carry; a larger one raises EMfHTTPResponseTooLarge.
  std::int64_t MaxBodySize() const { return max_body_size_; }
  void SetMaxBodySize(std::int64_t bytes) { max_body_size_ = bytes; }

  TMfHTTPRequest& Request() { return request_; }
  const TMfHTTPResponse& Response() const { return response_; }
  // Created with the first response while cookies are allowed; null before.
  const HttpCookieStore* CookieManager() const { return cookies_.get(); }

 private:
  struct Outcome {
    std::string body;
    bool success = false;
    bool redirect = false;
    std::string location;
  };
  // Budget of one response's header blocks.
  struct HeaderBudget {
    std::size_t lines = 0;
    std::size_t bytes = 0;
  };

  Outcome DoRequest(const HttpUrl& url);
  void PrepareConnection(const HttpUrl& url);
  void SendRequest(const HttpUrl& url);
  // Reads status lines and header blocks, skipping 100 responses. Returns false when the server
  // closed the connection inside the header block.
  bool ReadResponseHead(const HttpUrl& url);
  // Counts a status, header or trailer line against the response's header budget; raises
  // EMfHTTPResponseTooLarge beyond it.
  void CountHeaderLine(const std::string& line);
  void TakeCookies(const HttpUrl& url);
  // Reads the body as the response frames it (Content-Length, chunked, or up to the close).
  void ReadBody(std::string* body);
  // The body of a refused or redirected response, each read waiting kErrorBodyReadTimeoutMs.
  // Returns false when a time-out or failure ended it early (the connection is then unusable).
  bool ReadErrorBody(std::string* body);
  // Reads up to count bytes; returns false when the server closed the connection before.
  bool ReadCounted(std::int64_t count, std::string* body);
  void ReadChunked(std::string* body);
  void ReadToClose(std::string* body);
  void CheckBodyRoom(const std::string& body, std::int64_t more) const;
  // Whether the connection may serve the next request.
  bool ConnectionReusable();

  TMfHTTPRequest request_;
  TMfHTTPResponse response_;
  const Clock& clock_;
  std::unique_ptr<HttpCookieStore> cookies_;
  bool handle_redirects_ = false;
  bool allow_cookies_ = true;
  int connect_timeout_ = 0;
  std::int64_t max_body_size_ = kDefaultMaxHttpBodyBytes;
  HeaderBudget header_budget_;
};

}  // namespace mailferry

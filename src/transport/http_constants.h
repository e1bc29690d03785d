// Defaults and limits of the HTTP GET client, kept together.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mailferry {

// Ports assumed when a URL names none.
inline constexpr int kDefaultHttpPort = 80;
inline constexpr int kDefaultHttpsPort = 443;

// The only protocol version the client speaks; it decides the request line and the keep-alive
// rule.
inline constexpr char kHttpProtocolVersion[] = "1.1";

// Request defaults.
inline constexpr char kDefaultHttpAccept[] = "text/html, */*";
inline constexpr char kDefaultHttpUserAgent[] = "Mozilla/3.0 (compatible; Mailferry 1.00)";
inline constexpr char kDefaultHttpContentType[] = "text/html";

// The body of a refused or redirected response is only error text: it is waited for this long
// (milliseconds per read) and whatever arrived by then is kept.
inline constexpr int kErrorBodyReadTimeoutMs = 2000;

// How long the client waits after a keep-alive response for the server to show that it closed
// the connection after all, before sending the next request on it (milliseconds).
inline constexpr int kDisconnectProbeMs = 1;

// Bounds on what one response may hold, so a broken or hostile server cannot make the client
// grow without end. The header limits count every header block of a response (interim 100
// blocks included), the status lines too.
inline constexpr std::size_t kMaxHttpHeaderLines = 1000;
inline constexpr std::size_t kMaxHttpHeaderBytes = 256 * 1024;
// The default limit of a response body; the update service's pages are a few kilobytes.
inline constexpr std::int64_t kDefaultMaxHttpBodyBytes = 16 * 1024 * 1024;

// Redirects followed per request when following is switched on.
inline constexpr int kMaxHttpRedirects = 15;

}  // namespace mailferry

// The SocketStack port: blocking IPv4 stream sockets, the resolver and the local host name.
// Every failure is reported as a Windows Sockets error number (10061 for a refused connection,
// 11001 for an unknown host and so on), which the transport turns into its exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace mailferry {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocketHandle = -1;

// A socket error number of the Windows Sockets numbering; 0 means success.
using SocketErrorCode = int;

// Errors that have no Windows Sockets counterpart are reported as this base plus the platform's
// own error number, so they stay distinguishable (their message carries no text).
inline constexpr SocketErrorCode kUnmappedSocketErrorBase = 20000;

// An address and port of one end of a connection.
struct SocketEndpoint {
  std::string ip;
  int port = 0;
};

// Outcome of waiting for input.
enum class WaitResult { kReadable, kTimedOut, kFailed };

// One implementation serves the whole process; every call may be made from any thread, and the
// error a call reports belongs to that call alone.
class SocketStack {
 public:
  virtual ~SocketStack() = default;

  // Process-wide start-up and shutdown, run once around all use by the transport's socket layer.
  virtual bool Startup() = 0;
  virtual void Shutdown() = 0;

  // A new IPv4 stream socket, or kInvalidSocketHandle with *error set.
  virtual SocketHandle CreateSocket(SocketErrorCode* error) = 0;

  // Binds to a dotted-quad address (empty: any) and port (0: any).
  virtual SocketErrorCode Bind(SocketHandle socket, const std::string& ip, int port) = 0;

  // The first IPv4 address of a host name, as dotted text.
  virtual SocketErrorCode ResolveIPv4(const std::string& host, std::string* ip) = 0;

  // Connects to a dotted-quad address; timeout_ms <= 0 waits as long as the system does.
  virtual SocketErrorCode Connect(SocketHandle socket, const std::string& ip, int port,
                                  int timeout_ms) = 0;

  // Sets or clears the TCP no-delay option.
  virtual SocketErrorCode SetNoDelay(SocketHandle socket, bool no_delay) = 0;

  virtual SocketErrorCode LocalEndpoint(SocketHandle socket, SocketEndpoint* endpoint) = 0;
  virtual SocketErrorCode PeerEndpoint(SocketHandle socket, SocketEndpoint* endpoint) = 0;

  // Waits until input (or the peer's close) is available; timeout_ms < 0 waits without limit.
  virtual WaitResult WaitReadable(SocketHandle socket, int timeout_ms, SocketErrorCode* error) = 0;

  // One receive of at most size bytes: the count, 0 when the peer closed, -1 with *error set.
  virtual std::ptrdiff_t Receive(SocketHandle socket, char* buffer, std::size_t size,
                                 SocketErrorCode* error) = 0;

  // One send of at most size bytes: the count accepted, or -1 with *error set. Never raises a
  // signal when the peer has gone.
  virtual std::ptrdiff_t Send(SocketHandle socket, const char* data, std::size_t size,
                              SocketErrorCode* error) = 0;

  // Shuts down the sending direction; errors are of no interest to the caller.
  virtual void ShutdownSend(SocketHandle socket) = 0;
  virtual void Close(SocketHandle socket) = 0;

  // The local host name as the system reports it.
  virtual SocketErrorCode LocalHostName(std::string* name) = 0;
};

// The operating system's socket stack.
std::unique_ptr<SocketStack> CreateSystemSocketStack();

}  // namespace mailferry

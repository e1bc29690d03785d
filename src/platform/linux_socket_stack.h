// SocketStack over POSIX sockets, with errno and resolver codes mapped onto Windows Sockets
// numbers.
#pragma once

#include "platform/socket_stack.h"

namespace mailferry {

class LinuxSocketStack : public SocketStack {
 public:
  bool Startup() override;
  void Shutdown() override;
  SocketHandle CreateSocket(SocketErrorCode* error) override;
  SocketErrorCode Bind(SocketHandle socket, const std::string& ip, int port) override;
  SocketErrorCode ResolveIPv4(const std::string& host, std::string* ip) override;
  SocketErrorCode Connect(SocketHandle socket, const std::string& ip, int port,
                          int timeout_ms) override;
  SocketErrorCode SetNoDelay(SocketHandle socket, bool no_delay) override;
  SocketErrorCode LocalEndpoint(SocketHandle socket, SocketEndpoint* endpoint) override;
  SocketErrorCode PeerEndpoint(SocketHandle socket, SocketEndpoint* endpoint) override;
  WaitResult WaitReadable(SocketHandle socket, int timeout_ms, SocketErrorCode* error) override;
  std::ptrdiff_t Receive(SocketHandle socket, char* buffer, std::size_t size,
                         SocketErrorCode* error) override;
  std::ptrdiff_t Send(SocketHandle socket, const char* data, std::size_t size,
                      SocketErrorCode* error) override;
  void ShutdownSend(SocketHandle socket) override;
  void Close(SocketHandle socket) override;
  SocketErrorCode LocalHostName(std::string* name) override;
};

// The Windows Sockets number for an errno value; unknown values give
// kUnmappedSocketErrorBase + errno.
SocketErrorCode SocketErrorFromErrno(int errno_value);

// The Windows Sockets number for a getaddrinfo() result; errno_value is consulted for EAI_SYSTEM.
SocketErrorCode SocketErrorFromResolver(int resolver_code, int errno_value);

}  // namespace mailferry

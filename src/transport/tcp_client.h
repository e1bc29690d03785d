// TMfTCPClient: a line connection that opens itself to a remote host and port.
#pragma once

#include <string>

#include "transport/tcp_connection.h"

namespace mailferry {

class TMfTCPClient : public TMfTCPConnection {
 public:
  explicit TMfTCPClient(SocketLayer& layer = SocketLayer::Process()) : TMfTCPConnection(layer) {}

  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  // Local address to bind to (empty: any) and local port (0: any).
  const std::string& BoundIP() const { return bound_ip_; }
  void SetBoundIP(std::string ip) { bound_ip_ = std::move(ip); }
  int BoundPort() const { return bound_port_; }
  void SetBoundPort(int port) { bound_port_ = port; }

  // Connects to Host:Port. timeout in milliseconds; -1 and 0 wait as long as the system does.
  // Raises "Already connected." on an open socket without touching it; any other failure drops
  // the socket (the holder stays, so a later call starts afresh) and propagates.
  virtual void OpenConnection(int timeout = -1);

  // "localhost" in any letter case gives 127.0.0.1, a dotted quad is used as it is, anything
  // else goes to the resolver (its first IPv4 address). Raises the resolver's socket error.
  std::string ResolveAddress(const std::string& host);

  // Exactly four dot-separated decimal fields, each 0 to 255.
  static bool IsDottedQuad(const std::string& text);

 private:
  std::string host_;
  int port_ = 0;
  std::string bound_ip_;
  int bound_port_ = 0;
};

}  // namespace mailferry

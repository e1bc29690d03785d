#include "transport/tcp_client.h"

#include <cctype>
#include <sstream>

#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

bool EqualsIgnoringCase(const std::string& text, const char* word) {
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) !=
                                std::toupper(static_cast<unsigned char>(word[i]))) {
      return false;
    }
  }
  return i == text.size();
}

}  // namespace

bool TMfTCPClient::IsDottedQuad(const std::string& text) {
  int fields = 0;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t dot = text.find('.', pos);
    const std::string field = text.substr(pos, dot == std::string::npos ? dot : dot - pos);
    if (field.empty()) return false;
    int value = 0;
    for (const char c : field) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
      if (value > 255) return false;
    }
    ++fields;
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  return fields == 4;
}

std::string TMfTCPClient::ResolveAddress(const std::string& host) {
  if (EqualsIgnoringCase(host, "LOCALHOST")) return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  std::string ip;
  if (const SocketErrorCode error = stack().ResolveIPv4(host, &ip); error != 0) {
    throw EMfSocketError(error);
  }
  return ip;
}

void TMfTCPClient::OpenConnection(int timeout) {
  if (Socket() != nullptr && Socket()->Connected()) throw EMfAlreadyConnected();
  TMfIOHandlerSocket& holder = PrepareHolder();
  try {
    SocketErrorCode error = 0;
    const SocketHandle handle = stack().CreateSocket(&error);
    if (handle == kInvalidSocketHandle) throw EMfInvalidSocket();
    holder.Binding().Allocate(handle);

    // Binding to any address and any port is what connect does by itself.
    if (!bound_ip_.empty() || bound_port_ != 0) {
      error = stack().Bind(handle, bound_ip_, bound_port_);
      if (error == 10048) throw EMfCouldNotBindSocket();
      if (error != 0) throw EMfSocketError(error);
    }

    const std::string ip = ResolveAddress(host_);
    error = stack().Connect(handle, ip, port_, timeout > 0 ? timeout : 0);
    if (error != 0) throw EMfSocketError(error);

    if (!holder.UseNagle()) {
      if (error = stack().SetNoDelay(handle, true); error != 0) throw EMfSocketError(error);
    }
    SocketEndpoint local;
    SocketEndpoint peer;
    if (error = stack().LocalEndpoint(handle, &local); error != 0) throw EMfSocketError(error);
    if (error = stack().PeerEndpoint(handle, &peer); error != 0) throw EMfSocketError(error);
    holder.Binding().SetLocal(std::move(local));
    holder.Binding().SetPeer(std::move(peer));
  } catch (...) {
    DropSocket();
    throw;
  }
}

}  // namespace mailferry

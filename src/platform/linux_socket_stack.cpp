#include "platform/linux_socket_stack.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <utility>

namespace mailferry {
namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

// Four dot-separated decimal fields 0 to 255; leading zeros are decimal, not octal.
bool ParseIPv4(const std::string& ip, in_addr* address) {
  uint32_t value = 0;
  int fields = 0;
  std::size_t pos = 0;
  while (fields < 4) {
    uint32_t field = 0;
    std::size_t digits = 0;
    for (; pos < ip.size() && ip[pos] >= '0' && ip[pos] <= '9'; ++pos, ++digits) {
      field = field * 10 + static_cast<uint32_t>(ip[pos] - '0');
      if (field > 255) return false;
    }
    if (digits == 0) return false;
    value = (value << 8) | field;
    if (++fields < 4) {
      if (pos >= ip.size() || ip[pos] != '.') return false;
      ++pos;
    }
  }
  if (pos != ip.size()) return false;
  address->s_addr = htonl(value);
  return true;
}

SocketErrorCode EndpointOf(const sockaddr_in& address, SocketEndpoint* endpoint) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) {
    return SocketErrorFromErrno(errno);
  }
  endpoint->ip = text;
  endpoint->port = ntohs(address.sin_port);
  return 0;
}

// poll() for the given events, restarting after a signal with the time that is left.
int PollFor(int fd, short events, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  int wait_ms = timeout_ms;
  for (;;) {
    pollfd entry{fd, events, 0};
    const int result = poll(&entry, 1, wait_ms);
    if (result >= 0 || errno != EINTR) return result;
    if (timeout_ms > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
  }
}

// The pending error of a socket whose connect() is in progress, once it has finished.
SocketErrorCode FinishConnect(int fd, int timeout_ms) {
  const int ready = PollFor(fd, POLLOUT, timeout_ms);
  if (ready < 0) return SocketErrorFromErrno(errno);
  if (ready == 0) return 10060;
  int pending = 0;
  socklen_t length = sizeof pending;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) {
    return SocketErrorFromErrno(errno);
  }
  return pending == 0 ? 0 : SocketErrorFromErrno(pending);
}

}  // namespace

SocketErrorCode SocketErrorFromErrno(int errno_value) {
  switch (errno_value) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    // A send after the connection is gone: the system's "broken pipe" is the closed-socket case.
    case EPIPE:
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return kUnmappedSocketErrorBase + errno_value;
  }
}

SocketErrorCode SocketErrorFromResolver(int resolver_code, int errno_value) {
  switch (resolver_code) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;  // host not found
    case EAI_AGAIN:
      return 11002;  // try again
    case EAI_FAIL:
      return 11003;  // no recovery
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;  // name known, no IPv4 address
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return 11004;
#endif
    case EAI_MEMORY:
      return 10055;
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_BADFLAGS:
      return 10022;
    case EAI_SERVICE:
      return 10109;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(errno_value);
    default:
      return 11003;
  }
}

// Sends use MSG_NOSIGNAL, so nothing process-wide needs to be set up.
bool LinuxSocketStack::Startup() { return true; }
void LinuxSocketStack::Shutdown() {}

SocketHandle LinuxSocketStack::CreateSocket(SocketErrorCode* error) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = SocketErrorFromErrno(errno);
    return kInvalidSocketHandle;
  }
  *error = 0;
  return fd;
}

SocketErrorCode LinuxSocketStack::Bind(SocketHandle socket, const std::string& ip, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (ip.empty()) {
    address.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (!ParseIPv4(ip, &address.sin_addr)) {
    return 10049;
  }
  if (bind(Fd(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return SocketErrorFromErrno(errno);
  }
  return 0;
}

SocketErrorCode LinuxSocketStack::ResolveIPv4(const std::string& host, std::string* ip) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0) return SocketErrorFromResolver(result, errno);
  SocketErrorCode error = 11001;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET) continue;
    SocketEndpoint endpoint;
    error = EndpointOf(*reinterpret_cast<const sockaddr_in*>(entry->ai_addr), &endpoint);
    if (error == 0) *ip = endpoint.ip;
    break;
  }
  freeaddrinfo(found);
  return error;
}

SocketErrorCode LinuxSocketStack::Connect(SocketHandle socket, const std::string& ip, int port,
                                          int timeout_ms) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (!ParseIPv4(ip, &address.sin_addr)) return 10049;
  const int fd = Fd(socket);
  const auto* target = reinterpret_cast<const sockaddr*>(&address);
  if (timeout_ms <= 0) {
    if (connect(fd, target, sizeof address) == 0) return 0;
    // An interrupted blocking connect goes on in the background; wait for its outcome.
    if (errno == EINTR) return FinishConnect(fd, -1);
    return SocketErrorFromErrno(errno);
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return SocketErrorFromErrno(errno);
  SocketErrorCode error = 0;
  if (connect(fd, target, sizeof address) != 0) {
    error = (errno == EINPROGRESS || errno == EINTR) ? FinishConnect(fd, timeout_ms)
                                                     : SocketErrorFromErrno(errno);
  }
  if (fcntl(fd, F_SETFL, flags) != 0 && error == 0) error = SocketErrorFromErrno(errno);
  return error;
}

SocketErrorCode LinuxSocketStack::SetNoDelay(SocketHandle socket, bool no_delay) {
  const int value = no_delay ? 1 : 0;
  if (setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
    return SocketErrorFromErrno(errno);
  }
  return 0;
}

SocketErrorCode LinuxSocketStack::LocalEndpoint(SocketHandle socket, SocketEndpoint* endpoint) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return SocketErrorFromErrno(errno);
  }
  return EndpointOf(address, endpoint);
}

SocketErrorCode LinuxSocketStack::PeerEndpoint(SocketHandle socket, SocketEndpoint* endpoint) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return SocketErrorFromErrno(errno);
  }
  return EndpointOf(address, endpoint);
}

WaitResult LinuxSocketStack::WaitReadable(SocketHandle socket, int timeout_ms,
                                          SocketErrorCode* error) {
  const int ready = PollFor(Fd(socket), POLLIN, timeout_ms);
  if (ready < 0) {
    *error = SocketErrorFromErrno(errno);
    return WaitResult::kFailed;
  }
  *error = 0;
  // A hang-up or a pending error also counts as readable: the receive reports it.
  return ready == 0 ? WaitResult::kTimedOut : WaitResult::kReadable;
}

std::ptrdiff_t LinuxSocketStack::Receive(SocketHandle socket, char* buffer, std::size_t size,
                                         SocketErrorCode* error) {
  for (;;) {
    const ssize_t count = recv(Fd(socket), buffer, size, 0);
    if (count >= 0) return count;
    if (errno != EINTR) {
      *error = SocketErrorFromErrno(errno);
      return -1;
    }
  }
}

std::ptrdiff_t LinuxSocketStack::Send(SocketHandle socket, const char* data, std::size_t size,
                                      SocketErrorCode* error) {
  for (;;) {
    const ssize_t count = send(Fd(socket), data, size, MSG_NOSIGNAL);
    if (count >= 0) return count;
    if (errno != EINTR) {
      *error = SocketErrorFromErrno(errno);
      return -1;
    }
  }
}

void LinuxSocketStack::ShutdownSend(SocketHandle socket) { shutdown(Fd(socket), SHUT_WR); }

void LinuxSocketStack::Close(SocketHandle socket) { close(Fd(socket)); }

SocketErrorCode LinuxSocketStack::LocalHostName(std::string* name) {
  char buffer[250] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return SocketErrorFromErrno(errno);
  *name = buffer;
  return 0;
}

std::unique_ptr<SocketStack> CreateSystemSocketStack() {
  return std::make_unique<LinuxSocketStack>();
}

}  // namespace mailferry

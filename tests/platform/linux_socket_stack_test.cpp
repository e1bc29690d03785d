#include "platform/linux_socket_stack.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <netdb.h>

namespace mailferry {
namespace {

TEST(LinuxSocketStackTest, ErrnoValuesMapOntoWindowsSocketsNumbers) {
  const struct {
    int errno_value;
    SocketErrorCode code;
  } kCases[] = {
      {ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},  {ECONNRESET, 10054},   {ECONNABORTED, 10053},
      {EPIPE, 10058},        {EADDRINUSE, 10048}, {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051},
      {EAGAIN, 10035},       {EMFILE, 10024},     {EINVAL, 10022},       {ENOTCONN, 10057},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(SocketErrorFromErrno(c.errno_value), c.code) << "errno " << c.errno_value;
  }
  // Not a socket error at all: kept distinguishable instead of being passed off as another.
  EXPECT_EQ(SocketErrorFromErrno(ENODATA), kUnmappedSocketErrorBase + ENODATA);
}

TEST(LinuxSocketStackTest, ResolverCodesMapOntoWindowsSocketsNumbers) {
  EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(SocketErrorFromResolver(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(SocketErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
  EXPECT_EQ(SocketErrorFromResolver(EAI_MEMORY, 0), 10055);
}

TEST(LinuxSocketStackTest, ConnectingToAClosedLoopbackPortIsRefused) {
  LinuxSocketStack stack;
  SocketErrorCode error = 0;
  // A port that was just free: bind one, note it, close it.
  const SocketHandle probe = stack.CreateSocket(&error);
  ASSERT_EQ(stack.Bind(probe, "127.0.0.1", 0), 0);
  SocketEndpoint endpoint;
  ASSERT_EQ(stack.LocalEndpoint(probe, &endpoint), 0);
  stack.Close(probe);

  const SocketHandle socket = stack.CreateSocket(&error);
  ASSERT_NE(socket, kInvalidSocketHandle);
  EXPECT_EQ(stack.Connect(socket, "127.0.0.1", endpoint.port, 0), 10061);
  stack.Close(socket);
}

TEST(LinuxSocketStackTest, AnAddressThatIsNotADottedQuadCannotBeConnected) {
  LinuxSocketStack stack;
  SocketErrorCode error = 0;
  const SocketHandle socket = stack.CreateSocket(&error);
  EXPECT_EQ(stack.Connect(socket, "127.0.0.1.5", 25, 0), 10049);
  EXPECT_EQ(stack.Bind(socket, "not an address", 0), 10049);
  stack.Close(socket);
}

TEST(LinuxSocketStackTest, TheLocalHostNameIsReported) {
  LinuxSocketStack stack;
  std::string name;
  EXPECT_EQ(stack.LocalHostName(&name), 0);
  EXPECT_FALSE(name.empty());
}

}  // namespace
}  // namespace mailferry

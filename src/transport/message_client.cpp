#include "transport/message_client.h"

namespace mailferry {

std::exception_ptr TMfMessageClient::WriteQuitAndClose() {
  std::exception_ptr quit_error;
  if (IsConnected()) {
    try {
      WriteLine("QUIT");
      Flush();
    } catch (...) {
      quit_error = std::current_exception();
    }
  }
  TMfTCPClient::CloseConnection();
  return quit_error;
}

}  // namespace mailferry

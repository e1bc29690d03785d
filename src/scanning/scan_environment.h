// What a scan run reaches outside itself: the sockets of its POP3 and SMTP conversations, the
// dial-up platform, the main thread that takes its completion, the clock, the file replacer of
// its log and its record of forwarded messages, and the ports of its message object.
#pragma once

#include <chrono>

#include "message/message.h"
#include "platform/clock.h"
#include "platform/dial_up_platform.h"
#include "platform/file_replacer.h"
#include "platform/main_thread.h"
#include "transport/socket_layer.h"
#include "transport/transport_constants.h"

namespace mailferry {

// Every pointer is set (the defaults are the process's own) and must outlive the runs.
struct ScanEnvironment {
  SocketLayer* sockets = &SocketLayer::Process();
  DialUpPlatform* dial_up = &SystemDialUpPlatform();
  // Takes the completion of a run with a blocking call from the run's thread.
  MainThread* main_thread = &ProcessMainThread();
  const Clock* clock = &SystemClock();
  FileReplacer* files = &SystemFileReplacer();
  // Temp files for attachments, the clock of the Date written, the locale of header charsets.
  MessagePorts message;
  // How long a POP3 or SMTP conversation waits for a server that has fallen silent.
  std::chrono::milliseconds silent_server_bound = kSilentServerBound;
};

}  // namespace mailferry

// Limits, sizes and default ports of the transport, kept together.
#pragma once

#include <chrono>

namespace mailferry {

// Longest line ReadLine accepts by default, in bytes before the LF (a CR before it counts).
inline constexpr int kDefaultMaxLineLength = 16384;

// Bytes asked from the socket in one receive, and the chunk size of stream writes.
inline constexpr int kDefaultRecvBufferSize = 32768;
inline constexpr int kDefaultSendBufferSize = 32768;

// Consumed input is moved out of the buffer only once this much has piled up, so cutting lines
// never copies the unread rest for each line.
inline constexpr std::size_t kInputCompactThreshold = 32768;

// Pending output is sent once it reaches this size, and in any case before a reply is awaited:
// a command or message body then leaves in a few large segments, not as many small ones whose
// last one would wait for the server's delayed ACK.
inline constexpr std::size_t kOutputFlushThreshold = 32768;

// How long a read without a time-out of its own waits for a silent server before it ends with
// "Read Timeout". RFC 5321 section 4.5.3.2 gives an SMTP server up to 10 minutes for the reply
// to the end of DATA, the longest wait any of our conversations can legitimately see.
inline constexpr std::chrono::milliseconds kSilentServerBound = std::chrono::minutes(10);

// Standard ports preset by the protocol clients.
inline constexpr int kDefaultPop3Port = 110;
inline constexpr int kDefaultSmtpPort = 25;

}  // namespace mailferry

// The preview of forwarding: what the scan run would make of one message - read as a POP3
// retrieval delivers it, marked and re-addressed by an account's rules, and written as the SMTP
// client would write it - without any server.
#pragma once

#include <string>
#include <string_view>

#include "message/message.h"
#include "scanning/forward_message.h"

namespace mailferry {

struct ForwardingPreview {
  // True when the message would be sent; false with the reason when it would not.
  bool forwarded = false;
  std::string reason;
  // The transaction as the client would write it: the MAIL FROM and RCPT TO lines, DATA, the
  // message in transfer form (dot-stuffed) and the final ".", every line ending in CR LF.
  std::string transaction;
};

// The reason given for a message that carries the loop marker.
inline constexpr const char* kMarkerPreviewReason = "it carries the loop marker X-POP3-Connector";

// The message text as it is stored (lines ended by LF or CR LF, not dot-stuffed) in the form a
// POP3 server sends after "+OK": every line with CR LF, a line that begins with "." with one
// more, and the line "." at the end.
std::string Pop3RetrievalForm(std::string_view message_text);

// Reads message_text through the message model's retrieval reader, applies the rewrite step of
// the forwarding and the SMTP client's transaction, exactly as the scan run does, against an
// SMTP peer in memory that accepts everything. A message that cannot be read (any error of the
// message model's reading, as the run skips it), carries the marker or is refused (no recipient
// left, an unsafe envelope address) is not forwarded, with the reason.
ForwardingPreview PreviewForwarding(std::string_view message_text, const ForwardingRules& rules,
                                    const MessagePorts& ports = {});

}  // namespace mailferry

// Message reading: a POP3 retrieval's header block into a message's header lines and fields,
// then its body (body_reader.h).
#pragma once

#include <string>

#include "message/message.h"
#include "transport/tcp_connection.h"

namespace mailferry {

// Reads one message after a positive RETR reply into a message the caller has just cleared: the
// header block, then, when it ended with an empty line, the body. The line "." that ends the
// retrieval has been consumed when it returns. Any failure propagates (connection errors, an
// address header with "@" outside the address, a malformed Q word, the errors of ReceiveBody);
// the message then holds what was read and the rest of the retrieval stays unread.
void ReceiveMessage(TMfTCPConnection& connection, TMfMessage& message);

// Appends the header lines exactly as received (continuation lines included, byte-stuffing kept)
// to Headers up to an empty line or ".", runs ProcessHeaders and returns that line. A header
// block over kMaxHeaderBlockBytes raises "Message header too large.".
std::string ReceiveHeader(TMfTCPConnection& connection, TMfMessage& message);

// Fills the message's fields from its Headers: content type, charset, transfer encoding,
// disposition, subject and addresses (encoded words in the header charset decoded), ids,
// newsgroups, date, priority, and pushes the boundary of a multipart content type.
void ProcessHeaders(TMfMessage& message);

// The charset parameter of a Content-Type value, upper-cased: the quoted text, or the text up to
// the next ";"; empty without one.
std::string CharSetParameter(std::string_view content_type);

}  // namespace mailferry

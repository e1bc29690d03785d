// Message body reading: the lines after the header block up to the line ".", turned into the
// message's Body lines and its parts (MIME parts, a body encoded as a whole, uuencoded blocks).
#pragma once

#include "message/message.h"
#include "transport/tcp_connection.h"

namespace mailferry {

// Reads the body of a message whose header block ended with an empty line, up to and including
// the line ".". Plain lines go to Body (a leading ".." loses one dot); every part read is
// appended to MessageParts, text parts with their decoded lines, attachments with their decoded
// content in a temp file of the message's TempFiles.
//
// Failures propagate with the parts read so far kept and the rest of the message unread:
// connection errors, "Unknown Message Part Type." (the message ended inside a part header),
// "Unrecognized UUE encoding scheme.", a base64 line of uneven length, the limits of
// message_constants.h, temp file errors. A part that failed midway is not added, and its temp
// file is deleted.
void ReceiveBody(TMfTCPConnection& connection, TMfMessage& message);

}  // namespace mailferry

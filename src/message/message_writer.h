// Message writing: a message read from a mailbox put on an SMTP connection in transfer form,
// with the received header carried over and a fixed set of headers regenerated from the fields,
// and the body rebuilt from the body lines and parts under fixed MIME boundaries.
//
// Every line written into the transfer ends in CR LF; a body line that begins with "." gets one
// more, and a CR or LF inside a line never reaches the connection bare: in the body it breaks the
// line, in a header it folds it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "message/header_list.h"
#include "message/message.h"
#include "transport/tcp_connection.h"

namespace mailferry {

// Writes the header lines, an empty line and the body (not the final "."). Changes the message
// while doing so (its content type and transfer fields, its parts' defaults), so a message is
// written once. Connection errors and an attachment file that cannot be read propagate; the rest
// of the message is then not written.
//
// The body takes one of four forms:
// - no parts: the Body lines;
// - one text part and no attachment: a single-part message whose header describes that part
//   (its content type, or the message's own for a body that was encoded as a whole, and its
//   transfer encoding), the text encoded as that transfer encoding says;
// - two or more text parts and no attachment: multipart/alternative;
// - attachments: multipart/mixed with the text (Body lines of a plain message, the one text part,
//   or the text parts as a nested multipart/alternative) first and every attachment in base64.
// A nested multipart container that only held a preamble is not written; its nested parts are.
void WriteMessage(TMfTCPConnection& connection, TMfMessage& message);

// The header lines WriteMessage writes: the received lines with the regenerated headers set in
// their place (From, Subject, To, Cc, Newsgroups, Content-Type, MIME-Version, Content-Transfer-
// Encoding, Sender, Reply-To, Organization, Disposition-Notification-To, References, Date,
// X-Priority, X-Library), then ExtraHeaders. Updates the message's content type and transfer
// encoding for the body it will be written with.
TMfHeaderList GenerateHeader(TMfMessage& message);

// Each line of the Body of a plain message, dot-stuffed.
void WriteBodyText(TMfTCPConnection& connection, const std::vector<std::string>& lines);

// One text part of a multipart body: its Content-Type and Content-Transfer-Encoding lines
// (defaults "text/plain" and "quoted-printable", set in the part), its ExtraHeaders, an empty
// line, its lines encoded as its transfer encoding says (quoted-printable, base64, or as they
// are), and an empty line. With jis_conversion the quoted-printable text goes through
// ShiftJisToJis.
void WriteTextPart(TMfTCPConnection& connection, TMfText& part, bool jis_conversion);

// One body line: a CR or LF inside it (or a CR LF pair) breaks it into several lines, and each of
// those that begins with "." is written with one more.
void WriteBodyLine(TMfTCPConnection& connection, std::string_view line);

// One header line: a CR or LF inside it folds it (the piece after it goes on a line that begins
// with a blank or tab), empty pieces are left out, and an empty line is not written at all.
void WriteHeaderLine(TMfTCPConnection& connection, std::string_view line);

}  // namespace mailferry

// Wire constants of message reading and writing: the fixed boundaries and lines the writer puts
// out, and the limits that keep one hostile message from exhausting memory or the temp folder.
#pragma once

#include <cstddef>
#include <string_view>

namespace mailferry {

// The line that ends a POP3 retrieval; also ends a header block without a body.
inline constexpr std::string_view kEndOfMessageLine = ".";

// Boundaries of the multipart bodies the writer rebuilds. Fixed texts: no received content can
// contain them, since every part is re-encoded in base64 or quoted-printable or is plain text
// read line by line from a body that used other boundaries.
inline constexpr std::string_view kMainBoundary = "=_NextPart_2rfkmfrysadvnqw3nerasdf";
inline constexpr std::string_view kAlternativeBoundary = "=_NextPart_2altrfkmfrysadvnqw3nerasdf";
inline constexpr std::string_view kRelatedBoundary = "=_NextPart_2relrfksadvnqmfryw3nerasdf";

// The preamble of every multipart body written; MIME readers do not show it.
inline constexpr std::string_view kPreambleLine = "This is a multi-part message in MIME format";

// The header that names the library on every message written.
inline constexpr std::string_view kLibraryHeaderName = "X-Library";
inline constexpr std::string_view kLibraryHeaderValue = "Mailferry 1.00";

// Attachments are written as base64 lines of 76 characters, made from 57 bytes each.
inline constexpr std::size_t kBase64LineBytes = 57;

// Limits on what one message may make the reader hold. Lines are already limited by the
// connection's MaxLineLength; these bound the number of lines and parts, so that memory and temp
// files stay in proportion to what a real message needs whatever a server sends.
//
// Bytes of one header block (the message's or a part's), line ends counted.
inline constexpr std::size_t kMaxHeaderBlockBytes = 1024 * 1024;
// Bytes held in memory for the body: plain body lines, the decoded text of text parts and part
// header lines together, each line counting its string object too. Attachments are streamed to
// temp files and do not count.
inline constexpr std::size_t kMaxMessageTextBytes = 64 * 1024 * 1024;
// Parts of one message (each attachment is one temp file).
inline constexpr int kMaxMessageParts = 10000;

}  // namespace mailferry

// Errors of the message model that carry their own fixed text.
#pragma once

#include <string_view>

#include "common/mf_exception.h"

namespace mailferry {

// An address header with an "@" after an address that was already closed by angle brackets.
class EMfEmailParseError : public EMfException {
 public:
  EMfEmailParseError() : EMfException("@ Outside address") {}
};

// Texts of the EMfException failures of message reading.
//
// The message ended (line ".") inside a part header.
inline constexpr std::string_view kUnknownPartTypeText = "Unknown Message Part Type.";
// The first data line of a "begin" block is neither uuencoded nor xxencoded.
inline constexpr std::string_view kUnrecognizedUueText = "Unrecognized UUE encoding scheme.";
// A header block, the text held in memory or the number of parts passed its limit
// (message_constants.h).
inline constexpr std::string_view kHeaderTooLargeText = "Message header too large.";
inline constexpr std::string_view kTextTooLargeText = "Message text too large.";
inline constexpr std::string_view kTooManyPartsText = "Too many message parts.";

}  // namespace mailferry

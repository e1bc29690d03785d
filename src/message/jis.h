// Conversion between Shift_JIS text and ISO-2022-JP (JIS X 0208 in ESC "$B" ... ESC "(B"
// runs), for encoded header words on Japanese systems.
#pragma once

#include <string>
#include <string_view>

namespace mailferry {

// ISO-2022-JP to Shift_JIS: escape sequences switch double-byte mode on ("$B") and off ("(B")
// and are dropped; double-byte pairs become their Shift_JIS pairs.
std::string JisToShiftJis(std::string_view text);

// Shift_JIS to ISO-2022-JP: half-width katakana become full-width (a following voiced or
// semi-voiced mark joins them where such a form exists), double-byte characters become their
// JIS X 0208 codes in ESC "$B" runs, and the text always ends in ASCII mode. Bytes that have no
// JIS X 0208 character are dropped.
std::string ShiftJisToJis(std::string_view text);

}  // namespace mailferry

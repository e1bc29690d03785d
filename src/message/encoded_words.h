// Encoded header words (RFC 2047): decoding them into 8-bit text when a message is read, and
// encoding header text and display names in the system's header charset when it is written.
#pragma once

#include <string>
#include <string_view>

#include "message/email_address.h"
#include "platform/locale_language.h"

namespace mailferry {

// The RFC 822 specials, which must be encoded in a display name.
inline constexpr std::string_view kAddressSpecials = "()<>@,;:\\\".[]";

// The charset in which headers are written, with its encoding letter ('B' or 'Q') and whether
// the text goes through the Shift_JIS to ISO-2022-JP conversion.
struct HeaderCharset {
  std::string name;
  char letter = 'Q';
  bool jis_conversion = false;
};

// "UTF-8" with Q on a UTF-8 system; otherwise by the primary language: simplified Chinese
// "GB2312", other Chinese "Big5", Japanese "ISO-2022-JP" (with the JIS conversion), Korean
// "EUC-KR", all with B; any other language "ISO-8859-1" with Q.
HeaderCharset ChooseHeaderCharset(const LocaleLanguage& locale = SystemLocaleLanguage());

// Replaces the encoded words of a header value whose charset is the header charset (compared
// without regard to case) by their decoded text; words in any other charset stay as they are,
// so that they go out again unchanged. White space between two decoded words is dropped, other
// blanks stay; NUL bytes are removed. Decoded text is not searched for words again.
// ISO-2022-JP words go through JisToShiftJis. A Q word with "=" before two characters that are
// not hex digits raises EMfException "'$xy' is not a valid integer value".
std::string DecodeHeader(std::string_view text,
                         const HeaderCharset& charset = ChooseHeaderCharset());

// Encodes each run of blank-separated words that hold control or 8-bit characters (or one of
// the specials) as encoded words "=?charset?letter?...?=", broken by CR LF and a tab before a
// line would pass 75 characters. With the JIS flag the text is converted to ISO-2022-JP first.
// Words of a UTF-8 charset never split a character. Never fails.
std::string EncodeHeader(std::string_view text, std::string_view specials, char letter,
                         bool jis_conversion, std::string_view charset);

// An address item as header text: the bare address without a name; otherwise the name (as
// encoded words when it holds a control or 8-bit character, else always in double quotes with
// backslashes before backslashes and quotes), a blank and the address in angle brackets.
std::string EncodeAddressItem(const TMfEMailAddressItem& item, const HeaderCharset& choice);

// The items of a list as header text, separated by ", "; empty for an empty list.
std::string EncodeAddressList(const TMfEMailAddressList& list, const HeaderCharset& choice);

}  // namespace mailferry

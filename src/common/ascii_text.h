// ASCII-only helpers for 8-bit protocol and header text: trimming of control characters and
// blanks, and letter case that touches only a-z and A-Z (bytes of 128 and up stay as they are).
#pragma once

#include <string>
#include <string_view>

namespace mailferry {

// Without the characters with codes 0 to 32 at both ends, at the start, or at the end.
std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// Without blanks and tabs at both ends (other control characters stay).
std::string_view TrimBlanks(std::string_view text);

char UpperAscii(char c);
std::string UpperAscii(std::string_view text);

// Equal when only the letter case of ASCII letters differs.
bool SameTextAscii(std::string_view a, std::string_view b);

}  // namespace mailferry

// Small UTF-8 helpers for settings text, which is held as UTF-8 on Linux.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mailferry {

// The number of characters (code points) in text; a stray continuation byte counts as one.
std::size_t Utf8Length(std::string_view text);

// The first max_chars characters of text, never cutting inside a multi-byte sequence.
std::string Utf8Prefix(std::string_view text, std::size_t max_chars);

// True when every byte is 7-bit ASCII.
bool IsAscii(std::string_view text);

}  // namespace mailferry

// Decimal integer text as the protocols use it: an optional sign and decimal digits.
#pragma once

#include <optional>
#include <string_view>

namespace mailferry {

// The 32-bit value of text that is an optional "+" or "-" followed by decimal digits and
// nothing else; nullopt for anything else or a value out of range.
std::optional<int> DecimalToInt(std::string_view text);

// DecimalToInt, raising EMfConvertError "'<text>' is not a valid integer value" on failure.
int StrToInt(std::string_view text);

}  // namespace mailferry

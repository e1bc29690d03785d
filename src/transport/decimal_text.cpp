#include "transport/decimal_text.h"

#include <cstdint>
#include <string>

#include "transport/transport_exceptions.h"

namespace mailferry {

std::optional<int> DecimalToInt(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int>(value);
}

int StrToInt(std::string_view text) {
  const auto value = DecimalToInt(text);
  if (!value) throw EMfConvertError(std::string(text));
  return *value;
}

}  // namespace mailferry

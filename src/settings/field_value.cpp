#include "settings/field_value.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/mf_exception.h"
#include "common/utf8.h"

namespace mailferry {
namespace {

std::string InvalidIntegerMessage(std::string_view text, const TFieldDef& def) {
  return "'" + std::string(text) + "' is not a valid integer value for field '" +
         def.DisplayName() + "'";
}

// An optional sign and at least one digit, fitting 32 bits, nothing else.
bool ParseWholeNumber(std::string_view text, std::int64_t& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{1} << 31) return false;
  }
  value = negative ? -value : value;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  out = value;
  return true;
}

bool StartsWithIgnoringCase(std::string_view whole, std::string_view start) {
  if (start.size() > whole.size()) return false;
  for (std::size_t i = 0; i < start.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(whole[i]) != lower(start[i])) return false;
  }
  return true;
}

FieldValue FloatValue(const TFieldDef& def, double value) {
  if (def.type == FieldType::kCurrency || def.type == FieldType::kBcd) {
    // Amounts carry four decimal places.
    value = std::round(value * 10000.0) / 10000.0;
  }
  return value;
}

}  // namespace

std::string FormatNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

std::string RangeErrorMessage(double value, const TFieldDef& def, double min, double max) {
  return FormatNumber(value) + " is not a valid value for field '" + def.DisplayName() +
         "'. The allowed range is " + FormatNumber(min) + " to " + FormatNumber(max);
}

std::string CutToFieldSize(const TFieldDef& def, std::string text) {
  if (def.type != FieldType::kString) return text;
  const std::size_t limit = def.size > 0 ? static_cast<std::size_t>(def.size) : 0;
  if (text.size() <= limit) return text;  // never more characters than bytes
  return Utf8Prefix(text, limit);
}

FieldValue ValueFromInteger(const TFieldDef& def, std::int64_t value) {
  switch (ValueClassOf(def.type)) {
    case ValueClass::kInteger: {
      const IntegerRange range = IntegerRangeOf(def.type);
      if (value < range.min || value > range.max) {
        throw EMfException(RangeErrorMessage(static_cast<double>(value), def,
                                             static_cast<double>(range.min),
                                             static_cast<double>(range.max)));
      }
      return value;
    }
    case ValueClass::kBoolean:
      return value != 0;
    case ValueClass::kText:
      return CutToFieldSize(def, std::to_string(value));
    case ValueClass::kFloat:
      return FloatValue(def, static_cast<double>(value));
  }
  return {};
}

FieldValue ValueFromBoolean(const TFieldDef& def, bool value) {
  switch (ValueClassOf(def.type)) {
    case ValueClass::kBoolean:
      return value;
    case ValueClass::kText:
      return CutToFieldSize(def, value ? "True" : "False");
    default:
      return ValueFromInteger(def, value ? 1 : 0);
  }
}

FieldValue ValueFromFloat(const TFieldDef& def, double value) {
  switch (ValueClassOf(def.type)) {
    case ValueClass::kFloat:
      return FloatValue(def, value);
    case ValueClass::kInteger: {
      if (!std::isfinite(value) || value < -9.2e18 || value > 9.2e18) {
        throw EMfException(InvalidIntegerMessage(FormatNumber(value), def));
      }
      return ValueFromInteger(def, static_cast<std::int64_t>(std::llround(value)));
    }
    case ValueClass::kBoolean:
      return value != 0;
    case ValueClass::kText:
      return CutToFieldSize(def, FormatNumber(value));
  }
  return {};
}

FieldValue ValueFromText(const TFieldDef& def, std::string_view text) {
  switch (ValueClassOf(def.type)) {
    case ValueClass::kText:
      return CutToFieldSize(def, std::string(text));
    case ValueClass::kInteger: {
      if (text.empty()) return {};
      std::int64_t value = 0;
      if (!ParseWholeNumber(text, value)) throw EMfException(InvalidIntegerMessage(text, def));
      return ValueFromInteger(def, value);
    }
    case ValueClass::kBoolean:
      if (text.empty()) return {};
      if (StartsWithIgnoringCase("False", text)) return false;
      if (StartsWithIgnoringCase("True", text)) return true;
      throw EMfException("'" + std::string(text) + "' is not a valid boolean value for field '" +
                         def.DisplayName() + "'");
    case ValueClass::kFloat: {
      if (text.empty()) return {};
      const std::string copy(text);
      char* end = nullptr;
      const double value = std::strtod(copy.c_str(), &end);
      if (end != copy.c_str() + copy.size() || copy.find_first_of(" \t\n") != std::string::npos) {
        throw EMfException("'" + copy + "' is not a valid floating point value for field '" +
                           def.DisplayName() + "'");
      }
      return FloatValue(def, value);
    }
  }
  return {};
}

std::string ValueToText(const FieldValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  if (const auto* d = std::get_if<double>(&value)) return FormatNumber(*d);
  return {};
}

std::int64_t ValueToInteger(const TFieldDef& def, const FieldValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (const auto* d = std::get_if<double>(&value)) {
    // Only a number that fits the program's 32-bit integers can be read as one.
    if (!(*d > -2147483649.0 && *d < 2147483648.0)) {
      throw EMfException(InvalidIntegerMessage(FormatNumber(*d), def));
    }
    return static_cast<std::int64_t>(std::trunc(*d));
  }
  if (const auto* s = std::get_if<std::string>(&value)) {
    if (s->empty()) return 0;
    std::int64_t parsed = 0;
    if (!ParseWholeNumber(*s, parsed)) throw EMfException(InvalidIntegerMessage(*s, def));
    return parsed;
  }
  return 0;
}

bool ValueToBoolean(const TFieldDef& def, const FieldValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b;
  if (const auto* s = std::get_if<std::string>(&value)) {
    if (s->empty()) return false;
    TFieldDef as_boolean = def;
    as_boolean.type = FieldType::kBoolean;
    return std::get<bool>(ValueFromText(as_boolean, *s));
  }
  if (const auto* d = std::get_if<double>(&value)) return *d != 0;
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i != 0;
  return false;
}

bool IsValidFieldChar(const TFieldDef& def, char c) {
  if (ValueClassOf(def.type) != ValueClass::kInteger) return true;
  return c == '+' || c == '-' || (c >= '0' && c <= '9');
}

}  // namespace mailferry

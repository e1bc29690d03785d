// Values held in table fields and their conversions: the checks a bound text box applies when text
// is assigned to a field (whole numbers, ranges, String(n) cut) and the text shown for a value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "settings/field_def.h"

namespace mailferry {

// An empty field (monostate) or a value of the field's value class: integers as int64_t (within
// the type's range), Booleans as bool, texts as UTF-8 std::string, floating-point values as double.
using FieldValue = std::variant<std::monostate, std::int64_t, bool, std::string, double>;

inline bool IsEmptyValue(const FieldValue& value) {
  return std::holds_alternative<std::monostate>(value);
}

// Formats a number as the %g of the program's messages (up to 15 significant digits, so whole
// numbers print in full: 70000, 65535, -2147483648).
std::string FormatNumber(double value);

// "%g is not a valid value for field '%s'. The allowed range is %g to %g".
std::string RangeErrorMessage(double value, const TFieldDef& def, double min, double max);

// Text assigned to a field, as a bound text box assigns it. Empty text empties an integer, float
// or Boolean field; an integer field takes an optional sign and digits that fit 32 bits
// ("'%s' is not a valid integer value for field '%s'") within the type's range (RangeErrorMessage);
// a Boolean field takes "True" or "False" or a start of either, in any letter case; a String(n)
// field keeps the first n characters. Throws EMfException with the message on refusal.
FieldValue ValueFromText(const TFieldDef& def, std::string_view text);

// An integer assigned to a field of any type; integer types check their range.
FieldValue ValueFromInteger(const TFieldDef& def, std::int64_t value);

// A Boolean assigned to a field of any type (integers take 1 or 0).
FieldValue ValueFromBoolean(const TFieldDef& def, bool value);

// A floating-point number assigned to a field of any type.
FieldValue ValueFromFloat(const TFieldDef& def, double value);

// Cuts text to the field's declared length when the field is a String(n) field.
std::string CutToFieldSize(const TFieldDef& def, std::string text);

// The text a value shows: decimal for integers, "True"/"False", the text itself, empty for none.
std::string ValueToText(const FieldValue& value);

// The value read as an integer (0 when empty); text that is no whole number raises the
// integer-value message for the field.
std::int64_t ValueToInteger(const TFieldDef& def, const FieldValue& value);

// The value read as a Boolean (false when empty; numbers are true when not 0).
bool ValueToBoolean(const TFieldDef& def, const FieldValue& value);

// Whether a bound text box lets this character be typed: integer fields take "+", "-" and digits.
bool IsValidFieldChar(const TFieldDef& def, char c);

}  // namespace mailferry

// Field definitions of the settings tables: the field types a table file may name, field kinds,
// and the ten stored properties of one field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mailferry {

// Every type a table file may name. The settings tables use the first five; the others are read
// from files (and written back) but never created by the program.
enum class FieldType {
  kAutoInc,
  kInteger,
  kWord,
  kBoolean,
  kString,
  kSmallInt,
  kFloat,
  kLargeInt,
  kCurrency,
  kBcd,
  kDate,
  kTime,
  kDateTime,
  kBytes,
  kVarBytes,
  kBlob,
  kMemo,
  kGraphic,
  kFmtMemo,
  kParadoxOle,
  kDBaseOle,
  kTypedBinary,
  kFixedChar,
  kAdt,
  kArray,
  kHugeBlob,
  kHugeClob,
  kSqlTimeStamp,
  kFmtBcdField,
};

// How a type's values are held in memory and in a table file.
enum class ValueClass { kInteger, kBoolean, kText, kFloat };

enum class FieldKind { kData, kCalculated, kLookup, kInternalCalc, kAggregate };

// The type name as stored in a table file ("AutoInc", "String", ...).
std::string_view FieldTypeName(FieldType type);

// The type for a stored name, compared exactly; nullopt for an unknown or rejected name.
std::optional<FieldType> FieldTypeFromName(std::string_view name);

ValueClass ValueClassOf(FieldType type);

std::string_view FieldKindName(FieldKind kind);

// The kind for a stored name; an unknown name counts as "Data".
FieldKind FieldKindFromName(std::string_view name);

// The range an integer-valued type accepts.
struct IntegerRange {
  std::int64_t min;
  std::int64_t max;
};
IntegerRange IntegerRangeOf(FieldType type);

struct TFieldDef {
  std::string name;
  FieldType type = FieldType::kString;
  int size = 0;               // the maximum length of a String field; 0 for other types
  std::string display_label;  // empty: the field name is shown
  std::string edit_mask;
  int display_width = 0;  // 0: none set (see DisplayWidth)
  bool required = false;
  bool read_only = false;
  FieldKind kind = FieldKind::kData;
  std::string default_expression;  // converted to the field's type for every new row

  // The label shown and used in messages: the display label, or the field name without one.
  const std::string& DisplayName() const { return display_label.empty() ? name : display_label; }

  // The display width in effect: the set one, else the size for String fields, 5 for Boolean
  // fields and 10 for the others.
  int DisplayWidth() const;

  // Whether the field's values belong in a table file (data and internally calculated fields).
  bool IsSaved() const { return kind == FieldKind::kData || kind == FieldKind::kInternalCalc; }
};

// A field definition as the program builds it: label, mask and width left to their defaults.
TFieldDef MakeFieldDef(std::string name, FieldType type, int size = 0,
                       std::string default_expression = {});

}  // namespace mailferry

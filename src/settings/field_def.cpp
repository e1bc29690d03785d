#include "settings/field_def.h"

#include <array>
#include <limits>

namespace mailferry {
namespace {

struct TypeInfo {
  FieldType type;
  std::string_view name;
  ValueClass value_class;
};

// Every accepted type name and how its values are encoded. Names not listed here ("Unknown",
// "Cursor", "WideString", "Variant", ...) are refused on reading.
constexpr std::array<TypeInfo, 29> kTypes = {{
    {FieldType::kAutoInc, "AutoInc", ValueClass::kInteger},
    {FieldType::kInteger, "Integer", ValueClass::kInteger},
    {FieldType::kWord, "Word", ValueClass::kInteger},
    {FieldType::kBoolean, "Boolean", ValueClass::kBoolean},
    {FieldType::kString, "String", ValueClass::kText},
    {FieldType::kSmallInt, "SmallInt", ValueClass::kInteger},
    {FieldType::kFloat, "Float", ValueClass::kFloat},
    {FieldType::kLargeInt, "LargeInt", ValueClass::kFloat},
    {FieldType::kCurrency, "Currency", ValueClass::kFloat},
    {FieldType::kBcd, "BCD", ValueClass::kFloat},
    {FieldType::kDate, "Date", ValueClass::kFloat},
    {FieldType::kTime, "Time", ValueClass::kFloat},
    {FieldType::kDateTime, "DateTime", ValueClass::kFloat},
    {FieldType::kBytes, "Bytes", ValueClass::kText},
    {FieldType::kVarBytes, "VarBytes", ValueClass::kText},
    {FieldType::kBlob, "Blob", ValueClass::kText},
    {FieldType::kMemo, "Memo", ValueClass::kText},
    {FieldType::kGraphic, "Graphic", ValueClass::kText},
    {FieldType::kFmtMemo, "FmtMemo", ValueClass::kText},
    {FieldType::kParadoxOle, "ParadoxOle", ValueClass::kText},
    {FieldType::kDBaseOle, "dBaseOle", ValueClass::kText},
    {FieldType::kTypedBinary, "TypedBinary", ValueClass::kText},
    {FieldType::kFixedChar, "FixedChar", ValueClass::kText},
    {FieldType::kAdt, "ADT", ValueClass::kText},
    {FieldType::kArray, "Array", ValueClass::kText},
    {FieldType::kHugeBlob, "HugeBlob", ValueClass::kText},
    {FieldType::kHugeClob, "HugeClob", ValueClass::kText},
    {FieldType::kSqlTimeStamp, "SQLTimeStamp", ValueClass::kText},
    {FieldType::kFmtBcdField, "FMTBcdField", ValueClass::kText},
}};

constexpr std::array<std::string_view, 5> kKindNames = {"Data", "Calculated", "Lookup",
                                                        "InternalCalc", "Aggregate"};

const TypeInfo& InfoOf(FieldType type) {
  for (const auto& info : kTypes) {
    if (info.type == type) return info;
  }
  return kTypes[0];  // unreachable: every enumerator is listed
}

}  // namespace

std::string_view FieldTypeName(FieldType type) { return InfoOf(type).name; }

std::optional<FieldType> FieldTypeFromName(std::string_view name) {
  for (const auto& info : kTypes) {
    if (info.name == name) return info.type;
  }
  return std::nullopt;
}

ValueClass ValueClassOf(FieldType type) { return InfoOf(type).value_class; }

std::string_view FieldKindName(FieldKind kind) { return kKindNames[static_cast<int>(kind)]; }

FieldKind FieldKindFromName(std::string_view name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) return static_cast<FieldKind>(i);
  }
  return FieldKind::kData;
}

IntegerRange IntegerRangeOf(FieldType type) {
  switch (type) {
    case FieldType::kWord:
      return {0, 65535};
    case FieldType::kSmallInt:
      return {-32768, 32767};
    default:
      return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
  }
}

int TFieldDef::DisplayWidth() const {
  if (display_width > 0) return display_width;
  if (type == FieldType::kString) return size;
  if (type == FieldType::kBoolean) return 5;
  return 10;
}

TFieldDef MakeFieldDef(std::string name, FieldType type, int size, std::string default_expression) {
  TFieldDef def;
  def.name = std::move(name);
  def.type = type;
  def.size = size;
  def.default_expression = std::move(default_expression);
  return def;
}

}  // namespace mailferry

#include "settings/field_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/mf_exception.h"

namespace mailferry {
namespace {

struct TextCase {
  FieldType type;
  int size;
  std::string text;
  FieldValue expected;  // when error is empty
  std::string error;
};

TEST(FieldValueTest, TextIsAssignedAsABoundTextBoxAssignsIt) {
  const std::string range = "is not a valid value for field 'F'. The allowed range is ";
  const std::vector<TextCase> cases = {
      {FieldType::kWord, 0, "110", std::int64_t{110}, ""},
      {FieldType::kWord, 0, "+0065535", std::int64_t{65535}, ""},
      {FieldType::kWord, 0, "", FieldValue{}, ""},  // empty text empties the field
      {FieldType::kWord, 0, "70000", {}, "70000 " + range + "0 to 65535"},
      {FieldType::kWord, 0, "-1", {}, "-1 " + range + "0 to 65535"},
      {FieldType::kWord, 0, "1+2", {}, "'1+2' is not a valid integer value for field 'F'"},
      {FieldType::kWord, 0, "+", {}, "'+' is not a valid integer value for field 'F'"},
      {FieldType::kWord, 0, " 5", {}, "' 5' is not a valid integer value for field 'F'"},
      {FieldType::kInteger, 0, "-2147483648", std::int64_t{-2147483647 - 1}, ""},
      {FieldType::kInteger,
       0,
       "2147483648",
       {},
       "'2147483648' is not a valid integer value for field 'F'"},
      {FieldType::kInteger,
       0,
       "99999999999999999999",
       {},
       "'99999999999999999999' is not a valid integer value for field 'F'"},
      {FieldType::kSmallInt, 0, "40000", {}, "40000 " + range + "-32768 to 32767"},
      {FieldType::kBoolean, 0, "True", true, ""},
      {FieldType::kBoolean, 0, "false", false, ""},
      {FieldType::kBoolean, 0, "t", true, ""},
      {FieldType::kBoolean, 0, "yes", {}, "'yes' is not a valid boolean value for field 'F'"},
      {FieldType::kString, 5, "", std::string(), ""},  // empty text is a value
      {FieldType::kString, 5, "abcdefg", std::string("abcde"), ""},
      {FieldType::kString, 3, "äöüß", std::string("äöü"), ""},
      {FieldType::kString, 0, "a", std::string(), ""},
      {FieldType::kFloat, 0, "2.5", 2.5, ""},
      {FieldType::kFloat, 0, "2,5", {}, "'2,5' is not a valid floating point value for field 'F'"},
      {FieldType::kCurrency, 0, "1.23456", 1.2346, ""},
  };
  for (const TextCase& c : cases) {
    const TFieldDef def = MakeFieldDef("F", c.type, c.size);
    try {
      const FieldValue value = ValueFromText(def, c.text);
      EXPECT_TRUE(c.error.empty()) << c.text << " was accepted";
      EXPECT_EQ(value, c.expected) << c.text;
    } catch (const EMfException& error) {
      EXPECT_EQ(std::string(error.what()), c.error) << c.text;
    }
  }
}

TEST(FieldValueTest, MessagesNameTheDisplayLabel) {
  TFieldDef def = MakeFieldDef("Pop3Port", FieldType::kWord);
  def.display_label = "Port";
  try {
    ValueFromInteger(def, 65536);
    ADD_FAILURE() << "65536 accepted";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()),
              "65536 is not a valid value for field 'Port'. The allowed range is 0 to 65535");
  }
}

TEST(FieldValueTest, IntegerBoxesTakeOnlySignsAndDigits) {
  const TFieldDef port = MakeFieldDef("Pop3Port", FieldType::kWord);
  const TFieldDef name = MakeFieldDef("AccountName", FieldType::kString, 50);
  std::string accepted;
  for (char c : std::string("+-0123456789 a.,x")) {
    if (IsValidFieldChar(port, c)) accepted += c;
  }
  EXPECT_EQ(accepted, "+-0123456789");
  EXPECT_TRUE(IsValidFieldChar(name, 'x'));
}

TEST(FieldValueTest, ValuesReadAcrossTypes) {
  const TFieldDef integer = MakeFieldDef("I", FieldType::kInteger);
  const TFieldDef text = MakeFieldDef("S", FieldType::kString, 20);
  EXPECT_EQ(ValueToText(FieldValue{}), "");
  EXPECT_EQ(ValueToText(std::int64_t{-5}), "-5");
  EXPECT_EQ(ValueToText(true), "True");
  EXPECT_EQ(ValueToInteger(integer, FieldValue{}), 0);
  EXPECT_EQ(ValueToInteger(text, std::string("42")), 42);
  EXPECT_THROW(ValueToInteger(text, std::string("4x")), EMfException);
  EXPECT_THROW(ValueToInteger(integer, 1e300), EMfException);
  EXPECT_TRUE(ValueToBoolean(text, std::string("True")));
  EXPECT_FALSE(ValueToBoolean(text, FieldValue{}));
  EXPECT_EQ(FormatNumber(70000), "70000");
  EXPECT_EQ(FormatNumber(-2147483648.0), "-2147483648");
}

}  // namespace
}  // namespace mailferry

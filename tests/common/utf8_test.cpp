#include "common/utf8.h"

#include <gtest/gtest.h>

namespace mailferry {
namespace {

TEST(Utf8Test, PrefixCutsOnCharacterBoundaries) {
  struct Case {
    const char* text;
    std::size_t max;
    const char* expected;
  } cases[] = {
      {"abcdef", 3, "abc"},
      {"ab\xC3\xA9" "cd", 3, "ab\xC3\xA9"},
      {"\xE2\x82\xAC\xE2\x82\xAC", 1, "\xE2\x82\xAC"},
      {"short", 50, "short"},
      {"", 0, ""},
      {"x", 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8Prefix(c.text, c.max), c.expected) << c.text;
}

TEST(Utf8Test, LengthCountsCodePoints) {
  EXPECT_EQ(Utf8Length("ab\xC3\xA9"), 3u);
  EXPECT_EQ(Utf8Length("\xF0\x9F\x98\x80"), 1u);
  EXPECT_TRUE(IsAscii("plain text"));
  EXPECT_FALSE(IsAscii("caf\xC3\xA9"));
}

}  // namespace
}  // namespace mailferry

#include "common/ascii_text.h"

#include <gtest/gtest.h>

#include <string>

namespace mailferry {
namespace {

using namespace std::string_literals;

TEST(AsciiTextTest, TrimsControlCharactersOrOnlyBlanks) {
  struct Case {
    std::string text, trim, left, right, blanks;
  } cases[] = {
      {" \t a b \r\n", "a b", "a b \r\n", " \t a b", "a b \r\n"},
      {"\x01x\x7F", "x\x7F", "x\x7F", "\x01x\x7F", "\x01x\x7F"},
      {"\0 x \0"s, "x", "x \0"s, "\0 x"s, "\0 x \0"s},
      {"   ", "", "", "", ""},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Trim(c.text), c.trim);
    EXPECT_EQ(TrimLeft(c.text), c.left);
    EXPECT_EQ(TrimRight(c.text), c.right);
    EXPECT_EQ(TrimBlanks(c.text), c.blanks);
  }
}

TEST(AsciiTextTest, LetterCaseTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii("Content-Type: text/plain; \xC3\xA9"), "CONTENT-TYPE: TEXT/PLAIN; \xC3\xA9");
  EXPECT_TRUE(SameTextAscii("Message-ID", "message-id"));
  EXPECT_FALSE(SameTextAscii("\xC3\xA9", "\xC3\x89"));
  EXPECT_FALSE(SameTextAscii("To", "To "));
  EXPECT_FALSE(SameTextAscii("[", "{"));
}

}  // namespace
}  // namespace mailferry

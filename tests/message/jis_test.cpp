#include "message/jis.h"

#include <gtest/gtest.h>

#include <string>

namespace mailferry {
namespace {

using std::string_literals::operator""s;

struct JisCase {
  std::string input;
  std::string expected;
};

// "Nihongo" (three kanji) and "kanji tesuto" in both encodings.
const std::string kNihongoSjis = "\x93\xFA\x96\x7B\x8C\xEA";
const std::string kNihongoJis = "\x1B$BF|K\\8l\x1B(B";
const std::string kKanjiTestSjis = "\x8A\xBF\x8E\x9A\x83\x65\x83\x58\x83\x67";
const std::string kKanjiTestJis = "\x1B$B4A;z%F%9%H\x1B(B";

TEST(ShiftJisToJisTest, ConvertsRunsAndReturnsToAscii) {
  const JisCase cases[] = {
      {"plain ascii", "plain ascii"},
      {"", ""},
      {kNihongoSjis, kNihongoJis},
      {kKanjiTestSjis, kKanjiTestJis},
      {"a" + kNihongoSjis + "b", "a" + kNihongoJis + "b"},
      // Half-width katakana become full width; voiced and semi-voiced marks join where they can
      // (ga, pa, vu), and stand alone after a kana that has no such form (a).
      {"\xB6\xDE\xCA\xDF\xB3\xDE\xB1\xDE\xB0", "\x1B$B%,%Q%t%\"!+!<\x1B(B"},
      // A mark after a kana with only a voiced form (ka + semi-voiced) stays a mark.
      {"\xB6\xDF", "\x1B$B%+!,\x1B(B"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShiftJisToJis(c.input), c.expected) << c.input;
}

TEST(ShiftJisToJisTest, DropsWhatHasNoJisCharacter) {
  const JisCase cases[] = {
      // Bytes that are neither ASCII, half-width kana nor lead bytes.
      {"a\x80"
       "b\xA0"
       "c\xFD\xFE\xFF",
       "abc"},
      // A user-defined lead byte, a lead byte with an invalid trail byte, an unassigned row:
      // each goes with the byte after it.
      {"a\xF0\x40"
       "b",
       "ab"},
      {"a\x81\x20"
       "b",
       "ab"},
      {"a\x85\x40"
       "b",
       "ab"},
      // A lead byte at the very end.
      {"ab\x93", "ab"},
      {kNihongoSjis + "\x93", kNihongoJis},
  };
  for (const auto& c : cases) EXPECT_EQ(ShiftJisToJis(c.input), c.expected) << c.input;
}

TEST(JisToShiftJisTest, ConvertsDoubleByteRuns) {
  const JisCase cases[] = {
      {kNihongoJis, kNihongoSjis},
      {kKanjiTestJis, kKanjiTestSjis},
      {"a" + kNihongoJis + "b", "a" + kNihongoSjis + "b"},
      // Other escape sequences are dropped and leave the mode as it was.
      {"a\x1B(Jb", "ab"},
      {"\x1B$BF|\x1B(IK\\\x1B(B", "\x93\xFA\x96\x7B"},
      // A short escape at the end goes alone; half a pair at the end is dropped.
      {"ab\x1B", "ab"},
      {"ab\x1B$", "ab$"},
      {"\x1B$BF|K", "\x93\xFA"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(JisToShiftJis(c.input), c.expected) << c.input;
}

TEST(JisTest, EveryJisX0208CharacterRoundTrips) {
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead == 0xA0) lead = 0xE0;  // skip the half-width katakana, which are no lead bytes
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::string jis = ShiftJisToJis(pair);
      if (jis.empty()) continue;
      ++characters;
      ASSERT_EQ(jis.size(), 8u);
      EXPECT_EQ(JisToShiftJis(jis), pair) << std::hex << lead << " " << trail;
    }
  }
  // JIS X 0208 (1990) holds 6879 characters.
  EXPECT_EQ(characters, 6879);
}

}  // namespace
}  // namespace mailferry

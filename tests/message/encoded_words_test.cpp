#include "message/encoded_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/mf_exception.h"
#include "message/coders.h"
#include "support/fake_locale_language.h"

namespace mailferry {
namespace {

using std::string_literals::operator""s;
using testing::FakeLocaleLanguage;

const HeaderCharset kLatin1{"ISO-8859-1", 'Q', false};
const HeaderCharset kUtf8{"UTF-8", 'Q', false};
const HeaderCharset kJapanese{"ISO-2022-JP", 'B', true};

// "Nihongo" in Shift_JIS and in ISO-2022-JP.
const std::string kNihongoSjis = "\x93\xFA\x96\x7B\x8C\xEA";
const std::string kNihongoJis = "\x1B$BF|K\\8l\x1B(B";

struct TextCase {
  std::string input;
  std::string expected;
};

TEST(ChooseHeaderCharsetTest, FollowsLanguageAndCodePage) {
  const struct Case {
    const char* language;
    const char* region;
    bool utf8;
    const char* charset;
    char letter;
    bool jis;
  } cases[] = {
      {"de", "DE", false, "ISO-8859-1", 'Q', false},
      {"", "", false, "ISO-8859-1", 'Q', false},
      {"zh", "CN", false, "GB2312", 'B', false},
      {"zh", "SG", false, "GB2312", 'B', false},
      {"zh", "TW", false, "Big5", 'B', false},
      {"zh", "HK", false, "Big5", 'B', false},
      {"ja", "JP", false, "ISO-2022-JP", 'B', true},
      {"ko", "KR", false, "EUC-KR", 'B', false},
      // A UTF-8 system writes UTF-8 whatever its language.
      {"ja", "JP", true, "UTF-8", 'Q', false},
      {"de", "DE", true, "UTF-8", 'Q', false},
  };
  for (const auto& c : cases) {
    const HeaderCharset choice =
        ChooseHeaderCharset(FakeLocaleLanguage(c.language, c.region, c.utf8));
    EXPECT_EQ(choice.name, c.charset) << c.language << c.region << c.utf8;
    EXPECT_EQ(choice.letter, c.letter) << c.language << c.region << c.utf8;
    EXPECT_EQ(choice.jis_conversion, c.jis) << c.language << c.region << c.utf8;
  }
}

TEST(DecodeHeaderTest, DecodesWordsInTheHeaderCharset) {
  const TextCase cases[] = {
      {"=?iso-8859-1?q?Caf=E9?=", "Caf\xE9"},
      {"=?ISO-8859-1?B?QUJD?=", "ABC"},
      {"=?ISO-8859-1?B?QQ==?=", "A"},
      {"=?ISO-8859-1?b?QUI=?=", "AB"},
      {"Re: =?ISO-8859-1?Q?Gr=FC=DFe_aus?= K=F6ln",
       "Re: Gr\xFC\xDF"
       "e aus K=F6ln"},
      {"=?ISO-8859-1*de?Q?Stra=DFe?=",
       "Stra\xDF"
       "e"},
      {"plain text", "plain text"},
      {"", ""},
      // An empty word, and "=" too close to the end to be an escape.
      {"a=?ISO-8859-1?Q?"
       "?=b",
       "ab"},
      {"=?ISO-8859-1?Q?a=?=", "a="},
      {"=?ISO-8859-1?Q?=4?=", "=4"},
      // Decoded text is not decoded again.
      {"=?ISO-8859-1?Q?=3D=3FISO-8859-1=3FQ=3Fx=3F=3D?=", "=?ISO-8859-1?Q?x?="},
      // NUL bytes go, wherever they come from.
      {"a\0b=?ISO-8859-1?Q?c=00d?="s, "abcd"},
      // A stray start before a real word does not swallow it.
      {"x =? y =?ISO-8859-1?Q?caf=E9?=", "x =? y caf\xE9"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeader(c.input, kLatin1), c.expected) << c.input;
}

TEST(DecodeHeaderTest, WordsInOtherCharsetsStayAsTheyCame) {
  const char* texts[] = {
      "=?UTF-8?Q?Caf=C3=A9?=",
      "=?ISO-8859-2?Q?=B9?=",
      "=?windows-1252?Q?=80?=",
      "=?KOI8-R?B?8NLJ18XU?= and more",
  };
  for (const char* text : texts) EXPECT_EQ(DecodeHeader(text, kLatin1), text);
  EXPECT_EQ(DecodeHeader("=?ISO-8859-1?Q?Caf=E9?=", kUtf8), "=?ISO-8859-1?Q?Caf=E9?=");
  EXPECT_EQ(DecodeHeader("=?UTF-8?Q?Caf=C3=A9?= =?utf-8?b?w6k=?=", kUtf8), "Caf\xC3\xA9\xC3\xA9");
  // A foreign word between two of ours keeps the blanks around it.
  EXPECT_EQ(DecodeHeader("=?UTF-8?Q?a?= =?KOI8-R?Q?b?= =?UTF-8?Q?c?=", kUtf8),
            "a =?KOI8-R?Q?b?= c");
}

TEST(DecodeHeaderTest, WhiteSpaceBetweenDecodedWordsIsDropped) {
  const TextCase cases[] = {
      {"=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=", "ab"},
      {"=?ISO-8859-1?Q?Gr=FC?=\r\n\t=?ISO-8859-1?Q?=DFe?=",
       "Gr\xFC\xDF"
       "e"},
      {"=?ISO-8859-1?Q?a_?= =?ISO-8859-1?Q?b?=", "a b"},
      {"=?ISO-8859-1?Q?a?= x =?ISO-8859-1?Q?b?=", "a x b"},
      {"x =?ISO-8859-1?Q?a?=", "x a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeHeader(c.input, kLatin1), c.expected) << c.input;
}

TEST(DecodeHeaderTest, IncompleteWordsStayAndTheSearchMovesOn) {
  const char* texts[] = {
      "=?ISO-8859-1?Q?abc",
      "=?ISO",
      "=?",
      "=?WINDOWS-1252?Q",
      "=?WINDOWS-1252?Q?x? =?WINDOWS",
      "?= =? ?= =?",
      "=?=?=?=?=?=?=?",
  };
  for (const char* text : texts) EXPECT_EQ(DecodeHeader(text, kLatin1), text);
}

TEST(DecodeHeaderTest, BadQEscapeIsAConversionError) {
  try {
    DecodeHeader("=?ISO-8859-1?Q?a=zz?=", kLatin1);
    ADD_FAILURE() << "no error";
  } catch (const EMfException& e) {
    EXPECT_STREQ(e.what(), "'$zz' is not a valid integer value");
  }
  // In a word of another charset nothing is decoded, so nothing fails.
  EXPECT_EQ(DecodeHeader("=?UTF-8?Q?a=zz?=", kLatin1), "=?UTF-8?Q?a=zz?=");
}

TEST(DecodeHeaderTest, JapaneseWordsBecomeShiftJis) {
  const std::string word = "=?ISO-2022-JP?B?" + Base64Encode(kNihongoJis) + "?=";
  EXPECT_EQ(DecodeHeader("Re: " + word, kJapanese), "Re: " + kNihongoSjis);
}

TEST(EncodeHeaderTest, EncodesRunsOfWordsThatNeedIt) {
  const TextCase cases[] = {
      {"Gr\xFC\xDF"
       "e aus K\xF6ln",
       "=?ISO-8859-1?Q?Gr=FC=DFe?= aus =?ISO-8859-1?Q?K=F6ln?="},
      {"Gr\xFC\xDF"
       "e K\xF6ln",
       "=?ISO-8859-1?Q?Gr=FC=DFe_K=F6ln?="},
      {"Plain  ASCII subject  ", "Plain  ASCII subject  "},
      {"", ""},
      {"  \xE9t\xE9  ", "  =?ISO-8859-1?Q?=E9t=E9?=  "},
      {"\xE9=?_", "=?ISO-8859-1?Q?=E9=3D=3F=5F?="},
      {"\xE9\t\xE9", "=?ISO-8859-1?Q?=E9=09=E9?="},
      {"a\x01"
       "b",
       "=?ISO-8859-1?Q?a=01b?="},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeHeader(c.input, "", 'Q', false, "ISO-8859-1"), c.expected) << c.input;
  }
}

TEST(EncodeHeaderTest, SpecialsAreEncodedInDisplayNames) {
  EXPECT_EQ(EncodeHeader("M\xFCller, Hans", kAddressSpecials, 'Q', false, "ISO-8859-1"),
            "=?ISO-8859-1?Q?M=FCller=2C?= Hans");
  // Without specials the comma is plain text.
  EXPECT_EQ(EncodeHeader("Hans, Peter", "", 'Q', false, "ISO-8859-1"), "Hans, Peter");
}

TEST(EncodeHeaderTest, BreaksLongWordsIntoLines) {
  const std::string begin = "=?ISO-8859-1?Q?";
  std::string q_words;
  for (int part : {19, 19, 2}) {
    if (!q_words.empty()) q_words += "?=\r\n\t";
    q_words += begin;
    for (int i = 0; i < part; ++i) q_words += "=E9";
  }
  q_words += "?=";
  EXPECT_EQ(EncodeHeader(std::string(40, '\xE9'), "", 'Q', false, "ISO-8859-1"), q_words);

  const std::string b_begin = "=?ISO-8859-1?B?";
  EXPECT_EQ(EncodeHeader(std::string(50, '\xE9'), "", 'B', false, "ISO-8859-1"),
            b_begin + Base64Encode(std::string(42, '\xE9')) + "?=\r\n\t" + b_begin +
                Base64Encode(std::string(8, '\xE9')) + "?=");
}

TEST(EncodeHeaderTest, JapaneseTextIsConvertedToJis) {
  EXPECT_EQ(EncodeHeader(kNihongoSjis, "", 'B', true, "ISO-2022-JP"),
            "=?ISO-2022-JP?B?" + Base64Encode(kNihongoJis) + "?=");
  EXPECT_EQ(EncodeHeader("Re: " + kNihongoSjis, "", 'B', true, "ISO-2022-JP"),
            "Re: =?ISO-2022-JP?B?" + Base64Encode(kNihongoJis) + "?=");
  EXPECT_EQ(DecodeHeader(EncodeHeader(kNihongoSjis, "", 'B', true, "ISO-2022-JP"), kJapanese),
            kNihongoSjis);
  EXPECT_EQ(EncodeHeader("\xE9 x", "", '8', false, "ISO-8859-1"), "\xE9 x");
}

// True when text is a sequence of whole UTF-8 characters.
bool IsWholeUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

TEST(EncodeHeaderTest, Utf8WordsNeverSplitACharacter) {
  // One-, two-, three- and four-byte characters in a long run.
  std::string text;
  for (int i = 0; i < 12; ++i) text += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  for (char letter : {'Q', 'B'}) {
    const std::string encoded = EncodeHeader(text, "", letter, false, "UTF-8");
    const std::vector<std::string> lines = SplitLines(encoded);
    EXPECT_GT(lines.size(), 2u) << letter;
    for (const std::string& line : lines) {
      EXPECT_LE(line.size(), 76u) << line;  // 75 and the tab that starts a continuation line
      const std::string word = line.front() == '\t' ? line.substr(1) : line;
      EXPECT_TRUE(IsWholeUtf8(DecodeHeader(word, kUtf8))) << letter << " " << word;
    }
    EXPECT_EQ(DecodeHeader(encoded, kUtf8), text) << letter;
  }
}

TEST(EncodeHeaderTest, DecodingGivesBackTheText) {
  const std::string texts[] = {
      "Gr\xFC\xDF"
      "e aus K\xF6ln",
      "Caf\xE9 \"au lait\" = ? _ 100%",
      std::string(200, '\xE9') + " tail",
      "a\tb \xE9\t\xE9",
  };
  for (const auto& text : texts) {
    for (char letter : {'Q', 'B'}) {
      const std::string encoded = EncodeHeader(text, "", letter, false, "ISO-8859-1");
      EXPECT_EQ(DecodeHeader(encoded, kLatin1), text) << letter << " " << encoded;
    }
  }
}

TMfEMailAddressItem Item(const std::string& name, const std::string& address) {
  TMfEMailAddressItem item;
  item.SetName(name);
  item.SetAddress(address);
  return item;
}

TEST(EncodeAddressItemTest, WritesNamesQuotedOrEncoded) {
  const struct Case {
    std::string name;
    std::string address;
    std::string expected;
  } cases[] = {
      {"", "js@x.com", "js@x.com"},
      {"", "a b@x.com", "a b@x.com"},
      {"John", "js@x.com", "\"John\" <js@x.com>"},
      {"Smith, John", "js@x.com", "\"Smith, John\" <js@x.com>"},
      {"Say \"hi\" \\o/", "a@x", "\"Say \\\"hi\\\" \\\\o/\" <a@x>"},
      {"M\xFCller, Hans", "hm@x.de", "=?ISO-8859-1?Q?M=FCller=2C?= Hans <hm@x.de>"},
      {"A\x01"
       "B",
       "a@x", "=?ISO-8859-1?Q?A=01B?= <a@x>"},
      // A tab separates words like a blank; the words themselves need no encoding.
      {"A\tB", "a@x", "A\tB <a@x>"},
      {"Name", "", "\"Name\" <>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeAddressItem(Item(c.name, c.address), kLatin1), c.expected) << c.name;
  }
  EXPECT_EQ(EncodeAddressItem(Item("J\xC3\xBCrgen", "j@x"), kUtf8),
            "=?UTF-8?Q?J=C3=BCrgen?= <j@x>");
}

TEST(EncodeAddressListTest, JoinsItemsWithCommas) {
  TMfEMailAddressList list;
  EXPECT_EQ(EncodeAddressList(list, kLatin1), "");
  list.Add() = Item("", "a@x");
  EXPECT_EQ(EncodeAddressList(list, kLatin1), "a@x");
  list.Add() = Item(
      "B\xE9"
      "a",
      "b@x");
  list.Add() = Item("", "");
  list.Add() = Item("C", "c@x");
  EXPECT_EQ(EncodeAddressList(list, kLatin1), "a@x, =?ISO-8859-1?Q?B=E9a?= <b@x>, , \"C\" <c@x>");
}

}  // namespace
}  // namespace mailferry

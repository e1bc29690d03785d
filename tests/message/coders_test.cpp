#include "message/coders.h"

#include <gtest/gtest.h>

#include <string>

#include "common/mf_exception.h"

namespace mailferry {
namespace {

using std::string_literals::operator""s;

struct CodeCase {
  std::string input;
  std::string expected;
};

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

TEST(Base64Test, DecodesGroupsWithAndWithoutPadding) {
  const CodeCase cases[] = {
      {"QUJD", "ABC"},
      {"QUI=", "AB"},
      {"QQ==", "A"},
      {"", ""},
      {"QUJDREVG", "ABCDEF"},
      // Padding in the middle shortens only its own group.
      {"QQ==QUJD", "AABC"},
      {"QUI=QQ==", "ABA"},
      // White space is skipped wherever it stands, also where it makes the raw length uneven.
      {"QUJD ", "ABC"},
      {"QU JD\r\n", "ABC"},
      {" Q\tU\nI=\r", "AB"},
      {"QUJD\r\nQUJD", "ABCABC"},
      {"   ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.input), c.expected) << c.input;
}

TEST(Base64Test, UnevenLengthFails) {
  for (const std::string input : {"QUJDRA", "Q", "QUJ", "QU JDR", "QUJD=\r\n"}) {
    try {
      Base64Decode(input);
      ADD_FAILURE() << "no error for " << input;
    } catch (const EMfException& e) {
      EXPECT_STREQ(e.what(), "Uneven size in DecodeToStream.") << input;
    }
  }
}

TEST(Base64Test, CharactersOutsideTheAlphabetCountAsZero) {
  // "!" stands where "A" (value 0) would.
  EXPECT_EQ(Base64Decode("!UJD"), Base64Decode("AUJD"));
  EXPECT_EQ(Base64Decode("=UJD"), Base64Decode("AUJD"));
}

TEST(Base64Test, EncodesWithPadding) {
  const CodeCase cases[] = {
      {"", ""},        {"A", "QQ=="},        {"AB", "QUI="},
      {"ABC", "QUJD"}, {"ABCD", "QUJDRA=="}, {"\xFF\xFE\xFD"s, "//79"},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Encode(c.input), c.expected) << c.input;
  EXPECT_EQ(Base64Encode(std::string(57, 'x')).size(), 76u);
}

TEST(Base64Test, RoundTripsEveryByteAtEveryLength) {
  const std::string bytes = AllBytes() + AllBytes();
  for (std::size_t n = 0; n <= 70; ++n) {
    const std::string block = bytes.substr(n * 3, n);
    const std::string encoded = Base64Encode(block);
    EXPECT_EQ(encoded.size(), (n + 2) / 3 * 4);
    EXPECT_EQ(Base64Decode(encoded), block) << n;
  }
}

TEST(QPDecodeTest, DecodesLines) {
  const CodeCase cases[] = {
      {"a=3Db\r\n", "a=b\r\n"},
      {"soft=\r\n", "soft"},
      {"soft= \r\n", "soft"},
      {"x=20\n", "x \r\n"},
      {"x=20\r\n", "x \r\n"},
      {"a=zz\r\n", "azz\r\n"},
      {"=e9", "\xE9"},
      {"=E9=e9", "\xE9\xE9"},
      {"abc   \r\n", "abc\r\n"},
      {"abc \t \r\n", "abc\r\n"},
      {"abc=", "abc"},
      {"=", ""},
      {"", ""},
      // One hex digit is a value of its own; a stray "=" keeps what follows it.
      {"a=Ag\r\n", "a\ng\r\n"},
      {"a= b\r\n", "a b\r\n"},
      // The soft break takes at most two line-end characters with it.
      {"a=\r\n\r\n", "a\r\n"},
      {"=20", " "},
      {"=00x", "\0x"s},
  };
  for (const auto& c : cases) EXPECT_EQ(QPDecode(c.input), c.expected) << c.input;
}

TEST(QPEncodeTest, EncodesBytes) {
  const CodeCase cases[] = {
      {"a=b\r\n", "a=3Db\r\n"},
      {"tab\t\r\n", "tab=09\r\n"},
      {"tab \r\n", "tab=20\r\n"},
      {"a b\tc\r\n", "a b\tc\r\n"},
      {"\xE9", "=E9"},
      {"\x7F\x1B~!", "=7F=1B~!"},
      {"", ""},
      // A blank as the last byte would be lost in transport.
      {"end ", "end=20"},
      {std::string(80, 'a') + "\r\n",
       std::string(72, 'a') + "=\r\n" + std::string(8, 'a') + "\r\n"},
      {std::string(70, 'a') + "\r\n", std::string(70, 'a') + "\r\n"},
      {std::string(71, 'a') + "\r\n", std::string(71, 'a') + "\r\n"},
      {std::string(69, 'a') + "\xE9\r\n", std::string(69, 'a') + "=E9=\r\n\r\n"},
      // An escape may carry the line to 74 characters before the "=".
      {std::string(71, 'a') + "\xE9" + "b", std::string(71, 'a') + "=E9=\r\nb"},
  };
  for (const auto& c : cases) EXPECT_EQ(QPEncode(c.input), c.expected) << c.input;
}

// Decodes encoded text line by line, as the reader does, checking each line's length.
std::string DecodeQPLines(const std::string& encoded) {
  std::string decoded;
  std::size_t start = 0;
  while (start < encoded.size()) {
    std::size_t end = encoded.find("\r\n", start);
    end = end == std::string::npos ? encoded.size() : end + 2;
    const std::string physical = encoded.substr(start, end - start);
    EXPECT_LE(physical.find("\r\n"), 75u) << physical;
    decoded += QPDecode(physical);
    start = end;
  }
  return decoded;
}

TEST(QPEncodeTest, TextLinesRoundTrip) {
  // Every byte but CR and LF, in lines of many lengths and starting points, each line followed
  // by CR LF as the writer passes them.
  std::string data;
  for (int i = 0; i < 256; ++i) {
    if (i != '\r' && i != '\n') data.push_back(static_cast<char>(i));
  }
  data += data;
  for (std::size_t n = 0; n < 254; n += 3) {
    const std::string line = data.substr(n, n) + "\r\n";
    EXPECT_EQ(DecodeQPLines(QPEncode(line)), line) << n;
  }
  std::string words;
  for (int i = 0; i < 40; ++i)
    words +=
        "Gr\xFC\xDF"
        "e aus K\xF6ln = \t";
  words += "\r\n";
  EXPECT_EQ(DecodeQPLines(QPEncode(words)), words);
}

TEST(UUDecodeTest, DecodesCountedLines) {
  const CodeCase cases[] = {
      {"#0V%T", "Cat"},
      {"#    ", "\0\0\0"s},
      {"#````", "\0\0\0"s},
      {"`", ""},
      {" ", ""},
      {"", ""},
      // Two bytes: the last group's fourth character is padding.
      {"\"0V$", "Ca"},
      // Extra characters are ignored, missing ones count as 0.
      {"#0V%TXYZ", "Cat"},
      {"#0V", "C`\0"s},
  };
  for (const auto& c : cases) EXPECT_EQ(UUDecode(c.input), c.expected) << c.input;
  // A full line of 45 bytes, as uuencode writes them.
  EXPECT_EQ(UUDecode("M" + std::string(60, '`')).size(), 45u);
}

TEST(XXDecodeTest, DecodesCountedLines) {
  const CodeCase cases[] = {
      {"1Eq3o", "Cat"},
      {"+", ""},
      {"", ""},
      {"0Eq2", "Ca"},
  };
  for (const auto& c : cases) EXPECT_EQ(XXDecode(c.input), c.expected) << c.input;
  EXPECT_EQ(XXDecode("h" + std::string(60, '+')), std::string(45, '\0'));
}

}  // namespace
}  // namespace mailferry

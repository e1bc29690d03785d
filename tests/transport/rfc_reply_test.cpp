#include "transport/rfc_reply.h"

#include <gtest/gtest.h>

#include "transport/decimal_text.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

TEST(RfcReplyTest, ParsesCodeAndTextLines) {
  const struct {
    std::vector<std::string> lines;
    std::string text_code;
    int numeric_code;
    std::vector<std::string> text;
  } kCases[] = {
      {{"250-first", "250-second", "250 last"}, "250", 250, {"first", "second", "last"}},
      {{"+OK 2 320"}, "+OK", 0, {"2 320"}},
      {{"-ERR no such message"}, "-ERR", 0, {" no such message"}},
      {{"220"}, "220", 220, {""}},
      {{"+OKAY"}, "+OKA", 0, {"Y"}},
      {{"ab"}, "ab", 0, {""}},
      {{"354 Go ahead"}, "354", 354, {"Go ahead"}},
  };
  for (const auto& c : kCases) {
    TMfRFCReply reply;
    reply.ParseReply(c.lines);
    EXPECT_EQ(reply.TextCode(), c.text_code) << c.lines.front();
    EXPECT_EQ(reply.NumericCode(), c.numeric_code) << c.lines.front();
    EXPECT_EQ(reply.Text(), c.text) << c.lines.front();
  }
}

TEST(RfcReplyTest, NumericAndTextCodeFollowEachOther) {
  TMfRFCReply reply;
  reply.SetTextCode("+OK");
  reply.SetNumericCode(1);
  EXPECT_EQ(reply.TextCode(), "1");
  reply.SetTextCode("421");
  EXPECT_EQ(reply.NumericCode(), 421);
  reply.SetNumericCode(0);  // not above 0: the text stays
  EXPECT_EQ(reply.TextCode(), "421");
  reply.Text() = {" one", "two"};
  EXPECT_EQ(reply.JoinedText(), " one\r\ntwo\r\n");
  reply.Clear();
  EXPECT_EQ(reply.NumericCode(), 0);
  EXPECT_EQ(reply.TextCode(), "");
  EXPECT_TRUE(reply.Text().empty());
}

TEST(DecimalTextTest, ReadsSignedDecimalsOnly) {
  EXPECT_EQ(DecimalToInt("42"), 42);
  EXPECT_EQ(DecimalToInt("-7"), -7);
  EXPECT_EQ(DecimalToInt("+3"), 3);
  EXPECT_EQ(DecimalToInt("2147483647"), 2147483647);
  EXPECT_EQ(DecimalToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "+", "2147483648", "12a", " 1", "1 ", "0x10", "99999999999999"}) {
    EXPECT_FALSE(DecimalToInt(bad).has_value()) << bad;
  }
  try {
    StrToInt("5x");
    FAIL() << "no conversion error";
  } catch (const EMfConvertError& e) {
    EXPECT_STREQ(e.what(), "'5x' is not a valid integer value");
  }
}

TEST(SocketErrorTest, MessageCarriesNumberAndText) {
  const struct {
    SocketErrorCode code;
    const char* message;
  } kCases[] = {
      {10061, "Socket Error # 10061\r\nConnection refused."},
      {11001, "Socket Error # 11001\r\nHost not found."},
      {10035, "Socket Error # 10035\r\nOperation would block. "},
      {10066, "Socket Error # 10066\r\nDirectory not empty"},
      {11002, "Socket Error # 11002\r\n"},
  };
  for (const auto& c : kCases) {
    const EMfSocketError error(c.code);
    EXPECT_EQ(std::string(error.what()), c.message);
    EXPECT_EQ(error.ErrorCode(), c.code);
  }
}

}  // namespace
}  // namespace mailferry

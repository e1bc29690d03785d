#include "message/message_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/date_time.h"
#include "common/mf_exception.h"
#include "message/message_errors.h"
#include "support/memory_connection.h"
#include "support/message_ports.h"

namespace mailferry {
namespace {

using testing::MemoryConnection;
using Lines = std::vector<std::string>;

using MessageReaderTest = testing::MessageReadingTest;

TEST_F(MessageReaderTest, RetrievalOfOnlyTheEndLineGivesAClearedMessage) {
  connection_ = std::make_unique<MemoryConnection>(".\r\nNEXT\r\n");
  ReceiveMessage(connection_->connection(), message_);
  EXPECT_EQ(message_.Headers().Count(), 0);
  EXPECT_EQ(message_.Subject(), "");
  EXPECT_EQ(message_.Date(), 0);
  EXPECT_TRUE(message_.UseNowForDate());
  EXPECT_EQ(message_.Priority(), mpNormal);
  EXPECT_TRUE(message_.Body().empty());
  EXPECT_EQ(NextLine(), "NEXT");
}

TEST_F(MessageReaderTest, HeaderEndedByTheEndLineIsProcessedAndNoBodyIsRead) {
  connection_ = std::make_unique<MemoryConnection>("Subject: Hi\r\n.\r\nNEXT\r\n");
  ReceiveMessage(connection_->connection(), message_);
  EXPECT_EQ(message_.Subject(), "Hi");
  EXPECT_TRUE(message_.Body().empty());
  EXPECT_EQ(NextLine(), "NEXT");
}

TEST_F(MessageReaderTest, HeaderLinesAreStoredExactlyAsReceived) {
  // The POP3 server stuffs a header line that begins with a dot; it stays stuffed, so that it
  // goes out unstuffed to the SMTP server, which takes the dot off again.
  Read("Received: from a\n\tby b\n  for c\n.X-Odd: 1\nSubject:   Hi  \n\nbody\n", "NEXT\r\n");
  EXPECT_EQ(message_.Headers().Lines(),
            (Lines{"Received: from a", "\tby b", "  for c", "..X-Odd: 1", "Subject:   Hi  "}));
  EXPECT_EQ(message_.Subject(), "Hi");
  EXPECT_EQ(message_.Body(), Lines{"body"});
  EXPECT_EQ(NextLine(), "NEXT");
}

TEST_F(MessageReaderTest, ContentTypeGivesCharSetAndBoundary) {
  struct Case {
    const char* content_type;
    const char* charset;
    const char* boundary;
  } cases[] = {
      {"text/plain; charset=\"iso-8859-1\"", "ISO-8859-1", ""},
      {"text/plain; charset=utf-8; format=flowed", "UTF-8", ""},
      {"text/plain", "", ""},
      {"multipart/mixed; boundary=abc", "", "ABC"},
      {"multipart/mixed; boundary=\"a b\"; x=y", "", "A B"},
      // Without quotes the boundary runs to the end and then never matches a line.
      {"multipart/mixed; boundary=abc; x=y", "", "ABC; X=Y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content_type);
    message_.Clear();
    Read(std::string("Content-Type: ") + c.content_type + "\n\n");
    EXPECT_EQ(message_.ContentType(), c.content_type);
    EXPECT_EQ(message_.CharSet(), c.charset);
    EXPECT_EQ(message_.MIMEBoundary().Boundary(), c.boundary);
  }
}

TEST_F(MessageReaderTest, PriorityComesFromPriorityElseXPriority) {
  struct Case {
    const char* headers;
    TMfMessagePriority expected;
  } cases[] = {
      {"X-Priority: 2\n", mpHigh},
      {"X-Priority: 1 (Highest)\n", mpHighest},
      {"X-Priority: 5\n", mpLowest},
      {"Priority: normal\n", mpNormal},
      {"Priority: urgent\nX-Priority: 5\n", mpHigh},
      {"Priority: non-urgent\n", mpHigh},
      {"Priority: non-priority\n", mpLow},
      {"Subject: none\n", mpNormal},
      // Out of the scale: the nearest end of it.
      {"X-Priority: 0\n", mpHighest},
      {"X-Priority: 9\n", mpLowest},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    message_.Clear();
    Read(std::string(c.headers) + "\n");
    EXPECT_EQ(message_.Priority(), c.expected);
  }
}

TEST_F(MessageReaderTest, AddressAndTextFieldsAreFilled) {
  Read(
      "From: =?UTF-8?Q?Anna_Bj=C3=B6rk?= <anna@x.example>\n"
      "To: a@x.example, \"Smith, John\" <js@x.example>\n"
      "To: ignored@x.example\n"
      "Cc: c@x.example\n"
      "Bcc: hidden@x.example\n"
      "Reply-To: =?UTF-8?Q?R?= <r@x.example>\n"
      "Sender: =?UTF-8?Q?S?= <s@x.example>\n"
      "Disposition-Notification-To:\n"
      "Return-Receipt-To: receipt@x.example\n"
      "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?= =?ISO-8859-1?Q?K=F6ln?=\n"
      "Organization: =?UTF-8?Q?Org?=\n"
      "References: <a@x> <b@x>\n"
      "Message-Id: <id@x>\n"
      "Newsgroups: comp.lang, \"odd,name\" , , alt.test\n"
      "\n");
  EXPECT_EQ(message_.From().Name(), "Anna Bj\xC3\xB6rk");
  EXPECT_EQ(message_.From().Address(), "anna@x.example");
  ASSERT_EQ(message_.Recipients().Count(), 2);
  EXPECT_EQ(message_.Recipients()[1].Name(), "Smith, John");
  EXPECT_EQ(message_.CCList().Count(), 1);
  EXPECT_EQ(message_.BccList().Count(), 0);
  // Reply-To, Sender and Organization are not decoded.
  EXPECT_EQ(message_.ReplyTo()[0].Name(), "=?UTF-8?Q?R?=");
  EXPECT_EQ(message_.Sender().Name(), "=?UTF-8?Q?S?=");
  EXPECT_EQ(message_.Organization(), "=?UTF-8?Q?Org?=");
  EXPECT_EQ(message_.ReceiptRecipient().Address(), "receipt@x.example");
  // Only words in the header charset are decoded; the Latin-1 word goes out as it came.
  EXPECT_EQ(message_.Subject(),
            "Gr\xC3\xBC\xC3\x9F"
            "e =?ISO-8859-1?Q?K=F6ln?=");
  EXPECT_EQ(message_.References(), "<a@x> <b@x>");
  EXPECT_EQ(message_.MsgId(), "<id@x>");
  EXPECT_EQ(message_.NewsGroups(), (Lines{"comp.lang", "\"odd,name\"", "alt.test"}));
}

TEST_F(MessageReaderTest, DateIsConvertedToLocalTimeOrStaysZero) {
  Read("Date: Tue, 1 Feb 2005 10:20:30 +0000\n\n");
  // The clock is one hour east of UTC.
  EXPECT_DOUBLE_EQ(message_.Date(), *EncodeDate(2005, 2, 1) + *EncodeTime(11, 20, 30));
  EXPECT_FALSE(message_.UseNowForDate());

  for (const char* headers : {"Subject: x\n", "Date: 1 February 2005\n"}) {
    message_.Clear();
    Read(std::string(headers) + "\n");
    EXPECT_EQ(message_.Date(), 0) << headers;
    EXPECT_TRUE(message_.UseNowForDate());
  }
}

TEST_F(MessageReaderTest, HeaderErrorsPropagate) {
  EXPECT_EQ(ReadError("To: <a@x.example> b@y.example\n\n"), "@ Outside address");
  message_.Clear();
  EXPECT_EQ(ReadError("Subject: =?UTF-8?Q?a=zzb?=\n\n"), "'$zz' is not a valid integer value");
}

TEST_F(MessageReaderTest, ManyShortHeaderLinesAreRead) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "X-Trace-" + std::to_string(i) + ": hop\n";
  text += "Subject: last\n\nbody\n";
  Read(text, "NEXT\r\n");
  EXPECT_EQ(message_.Headers().Count(), 20001);
  EXPECT_EQ(message_.Subject(), "last");
  EXPECT_EQ(NextLine(), "NEXT");
}

TEST_F(MessageReaderTest, OversizedHeaderBlockIsRefused) {
  // 20 000 header lines of 100 bytes: 2 MB of header, more than a real message ever has.
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "X-Filler: " + std::string(88, 'x') + "\n";
  text += "\nbody\n";
  EXPECT_EQ(ReadError(text), "Message header too large.");
}

TEST_F(MessageReaderTest, OverlongLineIsRefusedByTheConnection) {
  // The CR before the LF counts: 16 384 characters make a line of 16 385 bytes.
  EXPECT_EQ(ReadError("Subject: x\n\n" + std::string(16384, 'a') + "\n"),
            "Max line length exceeded.");
  message_.Clear();
  Read("Subject: x\n\n" + std::string(16383, 'a') + "\n");
  EXPECT_EQ(message_.Body().at(0).size(), 16383u);
}

TEST_F(MessageReaderTest, TruncatedRetrievalRaisesConnectionClosed) {
  connection_ = std::make_unique<MemoryConnection>("Subject: x\r\n\r\nbody\r\nno end line");
  try {
    ReceiveMessage(connection_->connection(), message_);
    FAIL() << "no error";
  } catch (const EMfException& error) {
    EXPECT_STREQ(error.what(), "Connection Closed Gracefully.");
  }
  EXPECT_EQ(message_.Body(), Lines{"body"});
}

}  // namespace
}  // namespace mailferry

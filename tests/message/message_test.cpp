#include "message/message.h"

#include <gtest/gtest.h>

#include <string>

#include "common/list_error.h"
#include "message/mime_boundary.h"
#include "support/message_ports.h"

namespace mailferry {
namespace {

TEST(MimeBoundaryTest, PushIgnoresEmptyAndRepeatedTopAndPopOnEmptyIsAListError) {
  TMfMIMEBoundary stack;
  EXPECT_EQ(stack.Boundary(), "");
  stack.Push("");
  EXPECT_EQ(stack.Count(), 0);
  stack.Push("OUTER");
  stack.Push("outer");  // the same boundary in another case
  EXPECT_EQ(stack.Count(), 1);
  stack.Push("INNER");
  stack.Push("OUTER");  // not the top: pushed again
  EXPECT_EQ(stack.Count(), 3);
  EXPECT_EQ(stack.Boundary(), "OUTER");
  stack.Pop();
  stack.Pop();
  EXPECT_EQ(stack.Boundary(), "OUTER");
  stack.Pop();
  try {
    stack.Pop();
    FAIL() << "no error";
  } catch (const EListError& error) {
    EXPECT_STREQ(error.what(), "List index out of bounds (0)");
  }
}

TEST(MimeBoundaryTest, BoundaryLinesIgnoreCaseAndTrailingBlanks) {
  const struct {
    const char* line;
    bool delimiter;
    bool closing;
  } cases[] = {
      {"--ABC", true, false},   {"--abc", true, false},    {"--abc \t", true, false},
      {"--abc--", false, true}, {"--ABC-- ", false, true}, {"--abcd", false, false},
      {"-abc", false, false},   {"--ab", false, false},    {" --abc", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsBoundaryLine(c.line, "ABC"), c.delimiter) << c.line;
    EXPECT_EQ(IsClosingBoundaryLine(c.line, "ABC"), c.closing) << c.line;
  }
}

TEST(MessagePartsTest, CountsAndIndexErrors) {
  TMfMessageParts parts;
  parts.AddText();
  parts.AddAttachment();
  parts.AddAttachment().ExtraHeaders().SetValue("Content-ID", "<img@x>");
  parts.CountParts();
  EXPECT_EQ(parts.TextPartCount(), 1);
  EXPECT_EQ(parts.AttachmentCount(), 2);
  EXPECT_EQ(parts.RelatedPartCount(), 1);
  try {
    parts[3];
    FAIL() << "no error";
  } catch (const EListError& error) {
    EXPECT_STREQ(error.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(parts[-1], EListError);
}

TEST(MessageTest, ClearKeepsMsgIdAndTheEncodingSettings) {
  testing::TestMessagePorts ports;
  TMfMessage message(ports.ports());
  EXPECT_EQ(message.Encoding(), meMIME);
  EXPECT_EQ(message.AttachmentEncoding(), "MIME");
  message.SetMsgId("<id@x>");
  message.SetSubject("s");
  message.SetDate(38384.5);
  message.SetPriority(mpLowest);
  message.From().SetText("a@x");
  message.Recipients().Add().SetAddress("b@x");
  message.Headers().Add("Subject: s");
  message.MIMEBoundary().Push("B");
  message.Body().push_back("line");
  message.MessageParts().AddText();
  message.SetEncoding(meUU);
  message.Clear();
  EXPECT_EQ(message.MsgId(), "<id@x>");
  EXPECT_EQ(message.Encoding(), meUU);
  EXPECT_EQ(message.Subject(), "");
  EXPECT_TRUE(message.UseNowForDate());
  EXPECT_EQ(message.Priority(), mpNormal);
  EXPECT_EQ(message.From().Text(), "");
  EXPECT_EQ(message.Recipients().Count(), 0);
  EXPECT_EQ(message.Headers().Count(), 0);
  EXPECT_EQ(message.MIMEBoundary().Count(), 0);
  EXPECT_TRUE(message.Body().empty());
  EXPECT_TRUE(message.MessageParts().Empty());
}

TEST(MessageTest, EnvelopeListsTheSenderAndEveryRecipientList) {
  testing::TestMessagePorts ports;
  TMfMessage message(ports.ports());
  message.From().SetText("Anna <anna@x>");
  message.Recipients().ParseAddresses("a@y, b@y");
  message.CCList().ParseAddresses("a@y");
  message.BccList().Add().SetAddress("c@y");
  const MailEnvelope envelope = message.Envelope();
  EXPECT_EQ(envelope.from, "anna@x");
  EXPECT_EQ(envelope.to, (std::vector<std::string>{"a@y", "b@y"}));
  EXPECT_EQ(envelope.cc, std::vector<std::string>{"a@y"});
  EXPECT_EQ(envelope.bcc, std::vector<std::string>{"c@y"});
  message.SetExtraHeader("X-Mailer", "m");
  EXPECT_EQ(message.ExtraHeaders().GetValue("X-Mailer"), "m");
  message.SetExtraHeader("X-Mailer", "");
  EXPECT_EQ(message.ExtraHeaders().Count(), 0);
}

}  // namespace
}  // namespace mailferry

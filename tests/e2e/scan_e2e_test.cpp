// The whole chain on real servers: messages in Dovecot's maildirs, `mailferryctl scan`, and what
// Postfix stored. Settings are made with mailferryctl as a user would; what arrived is read back
// by an independent parser (Python's email package).
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "e2e/support/mailferry_data.h"
#include "e2e/support/message_text.h"
#include "e2e/support/python_email.h"
#include "e2e/support/shared_servers.h"

namespace mailferry::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

constexpr const char* kPassword = "secret";
constexpr const char* kMarkerLine = "X-POP3-Connector: Mailferry V1.0";
constexpr const char* kOffice = "office.example";  // a remote domain for method 0
constexpr const char* kShop = "shop.example";      // a remote domain for method 1

// A plain message; `extra` holds further header lines, each ending in CR LF.
std::string Mail(const std::string& subject, const std::string& to, const std::string& extra = "",
                 const std::string& from = "sender@example.org") {
  std::string id = subject;
  std::replace(id.begin(), id.end(), ' ', '.');
  return "From: Sender <" + from + ">\r\nTo: " + to + "\r\nSubject: " + subject +
         "\r\nDate: Mon, 1 Jun 2026 09:00:00 +0200\r\nMessage-ID: <" + id + "@example.org>\r\n" +
         extra + "\r\nThis is " + subject + ".\r\n";
}

// The value of the first header field `name` of a message (exact case), empty when absent.
std::string Header(const std::string& text, const std::string& name) {
  for (const std::string& line : SplitLines(text)) {
    if (line.empty()) break;
    if (line.starts_with(name + ": ")) return line.substr(name.size() + 2);
  }
  return "";
}

std::vector<std::string> Subjects(const std::vector<StoredMessage>& messages) {
  std::vector<std::string> subjects;
  for (const StoredMessage& message : messages) subjects.push_back(Header(message.text, "Subject"));
  std::sort(subjects.begin(), subjects.end());
  return subjects;
}

// A name no other call in this program returns, short enough for any settings field (mailbox
// names and addresses are String(50) there).
std::string Short(const std::string& prefix) { return FreshName(prefix).substr(0, 24); }

// Text parts compared without their trailing line breaks: a rebuilt MIME body may end a part
// with an empty line more or less.
std::vector<std::string> WithoutTrailingBreaks(std::vector<std::string> texts) {
  for (std::string& text : texts) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
  }
  return texts;
}

bool HasLine(const std::string& text, const std::string& line) {
  const std::vector<std::string> lines = SplitLines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A loopback port that refuses connections: bound, never listening, held for the test's life.
class ClosedPort {
 public:
  ClosedPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("cannot reserve a loopback port");
    }
    port_ = ntohs(address.sin_port);
  }
  ~ClosedPort() { close(fd_); }
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class ScanChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      dovecot_ = &SharedDovecot();
      postfix_ = &SharedPostfix();
    } catch (const std::exception& e) {
      FAIL() << "the test servers are not available:\n" << e.what();
    }
    data_ = std::make_unique<MailferryData>(postfix_->port());
  }

  DovecotServer& dovecot() { return *dovecot_; }
  PostfixServer& postfix() { return *postfix_; }
  MailferryData& data() { return *data_; }

  // A new mailbox on the shared POP3 server holding `messages` in this order; returns its name.
  std::string Mailbox(const std::vector<std::string>& messages) {
    const std::string user = Short("box");
    dovecot().AddUser(user, kPassword);
    if (!messages.empty()) dovecot().Deliver(user, messages);
    return user;
  }

  // An account on the shared POP3 server; `fields` adds to or overrides the defaults (method 0
  // for kOffice, keep off).
  int Account(const std::string& name, const std::string& user,
              const std::vector<std::string>& fields = {}) {
    std::vector<std::string> all{"AccountName=" + name,
                                 "Pop3Server=127.0.0.1",
                                 "Pop3Port=" + std::to_string(dovecot().port()),
                                 "Pop3UserName=" + user,
                                 std::string("Pop3Password=") + kPassword,
                                 std::string("Pop3DomainName=") + kOffice,
                                 "SMTPDomainName=" + postfix().stored_domain(),
                                 "ForwardMethod=0",
                                 "Pop3KeepMessages=False"};
    all.insert(all.end(), fields.begin(), fields.end());
    return data().AddAccount(all);
  }

  // Runs a scan that must go through and returns its standard output once every message it
  // handed over has been stored; its error output is kept in scan_errors_.
  std::string Scan() {
    ProgramResult result = data().Scan();
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_TRUE(postfix().WaitUntilQueueEmpty()) << "Postfix did not store what it accepted";
    scan_errors_ = result.err;
    return result.out;
  }

  // The local address a remote user's mail goes to.
  std::string Local(const std::string& user) { return user + "@" + postfix().stored_domain(); }

  std::string scan_errors_;

 private:
  DovecotServer* dovecot_ = nullptr;
  PostfixServer* postfix_ = nullptr;
  std::unique_ptr<MailferryData> data_;
};

TEST_F(ScanChainTest, SeveralAccountsForwardByBothMethodsAndEmptyTheirMailboxes) {
  const std::string anna = Short("anna"), bob = Short("bob"), dora = Short("dora"),
                    eve = Short("eve");
  // Method 0: every office address moves to the local domain; an outside one is dropped.
  const std::string office =
      Mailbox({Mail("office one", anna + "@" + kOffice,
                    "Cc: Bob <" + bob + "@" + kOffice + ">, carl@elsewhere.example\r\n"),
               Mail("office two", anna + "@" + kOffice)});
  Account("Office", office);
  // Method 1: the shop's addresses are replaced by the account's local users, as blind copies.
  const std::string shop = Mailbox({Mail("shop order", "info@" + std::string(kShop))});
  const int shop_id =
      Account("Shop", shop, {"ForwardMethod=1", std::string("Pop3DomainName=") + kShop});
  data().AddRecipient(shop_id, dora);
  data().AddRecipient(shop_id, Local(eve));

  EXPECT_EQ(Scan(), ScanSummary(3, 2));

  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(anna))),
              ElementsAre("office one", "office two"));
  const std::vector<StoredMessage> to_bob = postfix().ReceivedMessages(Local(bob));
  ASSERT_EQ(to_bob.size(), 1u);
  EXPECT_EQ(to_bob[0].sender, "sender@example.org");
  EXPECT_EQ(Header(to_bob[0].text, "To"), Local(anna));
  EXPECT_EQ(Header(to_bob[0].text, "Cc"), Local(bob));
  EXPECT_TRUE(HasLine(to_bob[0].text, kMarkerLine)) << to_bob[0].text;

  for (const std::string& user : {dora, eve}) {
    const std::vector<StoredMessage> shop_mail = postfix().ReceivedMessages(Local(user));
    ASSERT_EQ(shop_mail.size(), 1u) << user;
    EXPECT_EQ(Header(shop_mail[0].text, "Subject"), "shop order");
    EXPECT_THAT(shop_mail[0].text, Not(HasSubstr(user))) << "a blind copy names its recipient";
    EXPECT_TRUE(HasLine(shop_mail[0].text, kMarkerLine));
  }

  EXPECT_THAT(dovecot().WaitForMailbox(office, 0), IsEmpty());
  EXPECT_THAT(dovecot().WaitForMailbox(shop, 0), IsEmpty());
  EXPECT_THAT(data().LogTexts(),
              ElementsAre("Scan Done. Results: New Messages: 3 Accounts checked: 2"));
}

TEST_F(ScanChainTest, KeptMessagesAreForwardedOnceAcrossScans) {
  const std::string anna = Short("anna");
  const std::string to = anna + "@" + kOffice;
  const std::string box = Mailbox({Mail("kept one", to), Mail("kept two", to)});
  Account("Kept", box, {"Pop3KeepMessages=True", "Pop3KeepTime=0"});

  Scan();
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(anna))),
              ElementsAre("kept one", "kept two"));
  EXPECT_EQ(dovecot().ListMailbox(box).size(), 2u);

  dovecot().Deliver(box, Mail("kept three", to));
  Scan();
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(anna))),
              ElementsAre("kept one", "kept three", "kept two"));
  EXPECT_EQ(dovecot().ListMailbox(box).size(), 3u);
}

TEST_F(ScanChainTest, AKeepTimeDeletesOnlyMessagesOlderThanIt) {
  const std::string anna = Short("anna");
  const std::string to = anna + "@" + kOffice;
  auto dated = [&](const std::string& subject, const std::string& date) {
    std::string text = Mail(subject, to);
    const size_t at = text.find("Mon, 1 Jun 2026 09:00:00 +0200");
    return text.replace(at, 30, date);
  };
  const std::string old_mail = dated("old", "Tue, 1 May 2001 09:00:00 +0000");
  const std::string future_mail = dated("future", "Fri, 1 May 2099 09:00:00 +0000");
  const std::string box = Mailbox({old_mail, future_mail});
  Account("Dated", box, {"Pop3KeepMessages=True", "Pop3KeepTime=7"});

  Scan();
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(anna))), ElementsAre("future", "old"));
  EXPECT_THAT(dovecot().WaitForMailbox(box, 1), ElementsAre(future_mail));
}

TEST_F(ScanChainTest, AnAccountThatCannotLogInIsLoggedAndTheOthersAreScanned) {
  const std::string anna = Short("anna"), bob = Short("bob");
  ClosedPort down;
  Account("Down", Short("nobody"), {"Pop3Port=" + std::to_string(down.port())});
  const std::string locked = Mailbox({Mail("locked", bob + "@" + kOffice)});
  Account("Wrong", locked, {"Pop3Password=wrong"});
  const std::string good = Mailbox({Mail("fine", anna + "@" + kOffice)});
  Account("Good", good);

  EXPECT_EQ(Scan(), ScanSummary(1, 3));
  EXPECT_THAT(scan_errors_, HasSubstr("Error while connecting to Down"));
  EXPECT_THAT(scan_errors_, HasSubstr("Error while connecting to Wrong"));
  EXPECT_THAT(data().LogTexts(),
              ElementsAre("Error while connecting to Down", "Error while connecting to Wrong",
                          "Scan Done. Results: New Messages: 1 Accounts checked: 3"));
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(anna))), ElementsAre("fine"));
  EXPECT_THAT(postfix().ReceivedMessages(Local(bob)), IsEmpty());
  EXPECT_EQ(dovecot().ListMailbox(locked).size(), 1u);
  EXPECT_THAT(dovecot().WaitForMailbox(good, 0), IsEmpty());
}

TEST_F(ScanChainTest, AMessageWithARefusedRecipientStaysAndTheRestArrive) {
  const std::string frank = Short("frank");
  const std::string info = "info@" + std::string(kShop);
  // Method 1 keeps recipients outside the shop's domain, and the SMTP server refuses this one.
  const std::string refused =
      Mail("refused", info, "Cc: someone@" + postfix().refused_domain() + "\r\n");
  const std::string box = Mailbox({refused, Mail("accepted", info)});
  const int id = Account("Shop", box, {"ForwardMethod=1", std::string("Pop3DomainName=") + kShop});
  data().AddRecipient(id, frank);

  EXPECT_EQ(Scan(), ScanSummary(2, 1));
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(frank))), ElementsAre("accepted"));
  EXPECT_THAT(dovecot().WaitForMailbox(box, 1), ElementsAre(refused));
  std::vector<std::string> log = data().LogTexts();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_THAT(log[0], StartsWith("Message 1 of Shop not forwarded: "));
  EXPECT_THAT(log[0], HasSubstr("554"));

  // A refused message is not taken for forwarded: the next scan tries it again.
  Scan();
  log = data().LogTexts();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_THAT(log[2], StartsWith("Message 1 of Shop not forwarded: "));
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(frank))), ElementsAre("accepted"));
  EXPECT_THAT(dovecot().ListMailbox(box), ElementsAre(refused));
}

TEST_F(ScanChainTest, AMessageThatCarriesTheMarkerIsDeletedWithoutForwarding) {
  const std::string anna = Short("anna");
  const std::string to = anna + "@" + kOffice;
  const std::string box =
      Mailbox({Mail("looped", to, "x-pop3-connector: Elsewhere V2\r\n"), Mail("fresh", to)});
  Account("Office", box);

  EXPECT_EQ(Scan(), ScanSummary(2, 1));
  EXPECT_THAT(Subjects(postfix().ReceivedMessages(Local(anna))), ElementsAre("fresh"));
  EXPECT_THAT(dovecot().WaitForMailbox(box, 0), IsEmpty());
}

// Bytes of every value, in an order that is the same at every run.
std::string BinaryBytes(size_t size) {
  std::mt19937 generator(20260601);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string Base64Lines(const std::string& bytes) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out, line;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0);
    }
    for (size_t k = 0; k < 4; ++k) {
      line += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    if (line.size() == 76) {
      out += line + "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) out += line + "\r\n";
  return out;
}

TEST_F(ScanChainTest, WhatArrivesReadsLikeWhatWasSent) {
  const std::string anna = Short("anna");
  const std::string to = anna + "@" + kOffice;
  const std::string attachment = BinaryBytes(300 * 1024 + 1);
  const std::string with_attachment =
      "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.de>\r\n"
      "To: " +
      to +
      "\r\n"
      "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=\r\n"
      "Date: Mon, 1 Jun 2026 09:00:00 +0200\r\n"
      "Message-ID: <attachment@example.de>\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"outer-boundary\"\r\n"
      "\r\n"
      "--outer-boundary\r\n"
      "Content-Type: text/plain; charset=UTF-8\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Sch=C3=B6ne Gr=C3=BC=C3=9Fe,\r\n"
      ".a line that starts with a dot\r\n"
      "and a long one that the sender wrapped softly: lorem ipsum dolor sit amet, conse=\r\n"
      "ctetur adipiscing elit.\r\n"
      "--outer-boundary\r\n"
      "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
      "\r\n" +
      Base64Lines(attachment) + "--outer-boundary--\r\n";
  const std::string plain =
      Mail("dots and long lines", to, "") + ".\r\n..\r\n.x\r\n" + std::string(990, 'w') + "\r\n";
  const std::string box = Mailbox({with_attachment, plain});
  Account("Office", box);

  Scan();
  const std::vector<StoredMessage> received = postfix().ReceivedMessages(Local(anna));
  ASSERT_EQ(received.size(), 2u);
  // Highest message number first: the plain one went out first.
  const StoredMessage& plain_out = received[0];
  const StoredMessage& attachment_out = received[1];

  const ParsedEmail sent = ParseWithPython(with_attachment);
  const ParsedEmail got = ParseWithPython(attachment_out.text);
  EXPECT_THAT(got.defects, IsEmpty());
  EXPECT_EQ(got.subject, "Grüße aus München");
  EXPECT_EQ(got.subject, sent.subject);
  EXPECT_EQ(got.from, "juergen@example.de");
  EXPECT_EQ(attachment_out.sender, "juergen@example.de");
  EXPECT_THAT(got.to, ElementsAre(Local(anna)));
  EXPECT_EQ(WithoutTrailingBreaks(got.texts), WithoutTrailingBreaks(sent.texts));
  ASSERT_EQ(got.texts.size(), 1u);
  EXPECT_THAT(got.texts[0], StartsWith("Schöne Grüße,\n.a line that starts with a dot\n"));
  ASSERT_EQ(got.attachments.size(), 1u);
  EXPECT_EQ(got.attachments[0].filename, "data.bin");
  EXPECT_TRUE(got.attachments[0].bytes == attachment) << "the attachment's bytes changed";

  const ParsedEmail plain_sent = ParseWithPython(plain);
  const ParsedEmail plain_got = ParseWithPython(plain_out.text);
  EXPECT_EQ(plain_got.subject, "dots and long lines");
  EXPECT_EQ(WithoutTrailingBreaks(plain_got.texts), WithoutTrailingBreaks(plain_sent.texts));
  EXPECT_THAT(plain_got.defects, IsEmpty());
}

}  // namespace
}  // namespace mailferry::testing

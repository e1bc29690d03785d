#include "message/message_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "message/coders.h"
#include "message/message_constants.h"
#include "support/memory_connection.h"
#include "support/message_ports.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

using Lines = std::vector<std::string>;
using testing::MemoryConnection;

// The lines of transfer data (every line ends in CR LF).
Lines SplitLines(std::string_view data) {
  Lines lines;
  while (!data.empty()) {
    const std::size_t end = data.find("\r\n");
    lines.emplace_back(data.substr(0, end));
    if (end == std::string_view::npos) break;
    data.remove_prefix(end + 2);
  }
  return lines;
}

const std::string kMain(kMainBoundary);

class MessageWriterTest : public testing::MessageReadingTest {
 protected:
  // What WriteMessage sends for message_.
  std::string Write() {
    MemoryConnection out;
    WriteMessage(out.connection(), message_);
    return out.Sent();
  }

  // The header lines and the body lines written for message_.
  void WriteSplit(Lines* header, Lines* body) {
    const Lines lines = SplitLines(Write());
    const auto blank = std::find(lines.begin(), lines.end(), "");
    ASSERT_NE(blank, lines.end());
    header->assign(lines.begin(), blank);
    body->assign(blank + 1, lines.end());
  }

  Lines BodyLines() {
    Lines header, body;
    WriteSplit(&header, &body);
    return body;
  }

  Lines HeaderLines() {
    Lines header, body;
    WriteSplit(&header, &body);
    return header;
  }
};

TEST_F(MessageWriterTest, ForwardedPlainMessageKeepsItsHeaderWithTheRegeneratedSet) {
  Read(
      "Received: from mx.remote.example\n"
      "\tby pop.remote.example; Tue, 1 Feb 2005 10:20:30 +0100\n"
      "From: John Smith <js@x.example>\n"
      "To: bob@remote.example\n"
      "Subject: Hi\n"
      "Date: Tue, 1 Feb 2005 10:20:30 +0100\n"
      "Message-ID: <1@x.example>\n"
      "\n"
      "line one\n"
      ".\n");
  message_.Recipients()[0].SetText("bob@local.example");
  message_.Headers().Add("X-POP3-Connector: Mailferry V1.0");
  EXPECT_EQ(SplitLines(Write()),
            (Lines{"Received: from mx.remote.example",
                   "\tby pop.remote.example; Tue, 1 Feb 2005 10:20:30 +0100",
                   "From: \"John Smith\" <js@x.example>", "To: bob@local.example", "Subject: Hi",
                   "Date: Tue, 1 Feb 2005 10:20:30 +0100", "Message-ID: <1@x.example>",
                   "X-POP3-Connector: Mailferry V1.0", "X-Priority: 3", "X-Library: Mailferry 1.00",
                   "", "line one", ".."}));
}

TEST_F(MessageWriterTest, BodyLinesAreDotStuffedAndBrokenAtEveryCrOrLf) {
  const struct {
    const char* line;
    const char* written;
  } cases[] = {
      {".", "..\r\n"},           {"..x", "...x\r\n"},      {"", "\r\n"},
      {"a\rb", "a\r\nb\r\n"},    {"a\r.", "a\r\n..\r\n"},  {"a\r\n.\r\nb", "a\r\n..\r\nb\r\n"},
      {"a\n.b", "a\r\n..b\r\n"}, {"abc\r", "abc\r\n\r\n"},
  };
  for (const auto& c : cases) {
    MemoryConnection out;
    WriteBodyLine(out.connection(), c.line);
    EXPECT_EQ(out.Sent(), c.written) << c.line;
  }
}

TEST_F(MessageWriterTest, HeaderLinesFoldAtEveryCrOrLf) {
  const struct {
    const char* line;
    const char* written;
  } cases[] = {
      {"Subject: a\rb", "Subject: a\r\n b\r\n"},
      {"X: a\r\n\tb", "X: a\r\n\tb\r\n"},
      {"X: a\r\nX-Evil: 1", "X: a\r\n X-Evil: 1\r\n"},
      {"\r\nX-Evil: 1", " X-Evil: 1\r\n"},
      {"X: a\n", "X: a\r\n"},
      {"", ""},
      {".", "..\r\n"},
  };
  for (const auto& c : cases) {
    MemoryConnection out;
    WriteHeaderLine(out.connection(), c.line);
    EXPECT_EQ(out.Sent(), c.written) << c.line;
  }
}

TEST_F(MessageWriterTest, NoLineBreakFromReceivedTextStartsAHeaderOrEndsTheData) {
  Read(
      "From: =?UTF-8?Q?Eve=0D=0AX-Evil:_1?= <eve@x.example>\n"
      "Subject: =?UTF-8?Q?a=0D=0AX-Evil:_2?=\n"
      "X-Note: a\rX-Evil: 3\n"
      "\n"
      "body\r.\r\n");
  const std::string data = Write();
  for (const auto& line : SplitLines(data)) {
    EXPECT_NE(line.rfind("X-Evil", 0), 0u) << line;
    EXPECT_NE(line, ".");
  }
  EXPECT_EQ(data.find("\r\r"), std::string::npos);
  EXPECT_EQ(BodyLines(), (Lines{"body", ".."}));
}

TEST_F(MessageWriterTest, RegeneratedHeaders) {
  Read(
      "From: a@x.example\n"
      "To: b@x.example\n"
      "Bcc: kept@x.example\n"
      "X-Priority: 1 (Highest)\n"
      "Newsgroups: comp.lang\n"
      "\n"
      "text\n");
  message_.Recipients().Clear();
  message_.BccList().Add().SetAddress("never@x.example");
  message_.NewsGroups().push_back("odd \"name\"");
  message_.ExtraHeaders().Add("X-Extra: last");
  EXPECT_EQ(HeaderLines(), (Lines{"From: a@x.example", "Bcc: kept@x.example", "X-Priority: 1",
                                  "Newsgroups: comp.lang,\"odd \"\"name\"\"\"",
                                  "Date: Tue, 1 Feb 2005 12:00:00 +0100",
                                  "X-Library: Mailferry 1.00", "X-Extra: last"}));
}

TEST_F(MessageWriterTest, UuencodedBlockGoesOutAsMimeAttachment) {
  Read(
      "From: a@x.example\n"
      "Subject: file\n"
      "Content-Type: text/plain; charset=iso-8859-1\n"
      "\n"
      "before caf\xE9\n"
      "begin 644 cat.txt\n"
      "#0V%T\n"
      "`\n"
      "end\n"
      ".after\n");
  Lines header, body;
  WriteSplit(&header, &body);
  EXPECT_EQ(message_.ContentType(),
            "multipart/mixed; boundary=\"" + kMain + "\";\r\n\tcharset=\"ISO-8859-1\"");
  EXPECT_NE(std::find(header.begin(), header.end(), "MIME-Version: 1.0"), header.end());
  EXPECT_EQ(body, (Lines{std::string(kPreambleLine), "", "--" + kMain,
                         "Content-Type: text/plain; charset=iso-8859-1",
                         "Content-Transfer-Encoding: 8bit", "", "before caf\xE9", "..after", "",
                         "--" + kMain, "Content-Type: application/octet-stream;",
                         "        name=\"cat.txt\"", "Content-Transfer-Encoding: base64",
                         "Content-Disposition: attachment;", "        filename=\"cat.txt\"", "",
                         "Q2F0", "", "--" + kMain + "--"}));
}

TEST_F(MessageWriterTest, AlternativePartsKeepTheirEncodings) {
  Read(
      "Content-Type: multipart/alternative; boundary=b1\n\n"
      "--b1\n"
      "Content-Type: text/plain; charset=iso-8859-1\n"
      "Content-Transfer-Encoding: quoted-printable\n\n"
      "caf=E9 =3D x\n"
      "--b1\n"
      "Content-Type: text/html\n"
      "Content-Transfer-Encoding: 7bit\n\n"
      "<p>hi</p>\n"
      ".x\n"
      "--b1--\n");
  Lines header, body;
  WriteSplit(&header, &body);
  // The quoted boundary at the end of the value is never cut, so this line stays whole.
  EXPECT_EQ(header, (Lines{"Content-Type: multipart/alternative; boundary=\"" + kMain + "\"",
                           "MIME-Version: 1.0", "Date: Tue, 1 Feb 2005 12:00:00 +0100",
                           "X-Priority: 3", "X-Library: Mailferry 1.00"}));
  EXPECT_EQ(body, (Lines{std::string(kPreambleLine), "", "--" + kMain,
                         "Content-Type: text/plain; charset=iso-8859-1",
                         "Content-Transfer-Encoding: quoted-printable", "", "caf=E9 =3D x", "",
                         "--" + kMain, "Content-Type: text/html", "Content-Transfer-Encoding: 7bit",
                         "", "<p>hi</p>", "..x", "", "--" + kMain + "--"}));
}

TEST_F(MessageWriterTest, OneTextPartGoesOutAsASinglePartBody) {
  struct Case {
    const char* name;
    std::string text;
    const char* content_type;
    const char* transfer;
    Lines body;
  } cases[] = {
      {"quoted-printable body",
       "Content-Type: text/plain; charset=iso-8859-1\n"
       "Content-Transfer-Encoding: quoted-printable\n\n"
       "soft=\n.break caf=E9\n",
       "text/plain; charset=iso-8859-1; charset=\"ISO-8859-1\"",
       "quoted-printable",
       {"soft.break caf=E9"}},
      {"base64 body",
       "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n"
       "TGluZSBvbmUNCkxpbmUg\ndHdvDQo=\n",
       "text/plain",
       "base64",
       {"TGluZSBvbmUNCkxpbmUgdHdvDQo="}},
      {"multipart with one text part",
       "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b1\n\n"
       "preamble\n--b1\nContent-Type: text/html; charset=utf-8\n\n.<p>hi</p>\n--b1--\n",
       "text/html; charset=utf-8",
       "quoted-printable",
       {"..<p>hi</p>"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    message_.Clear();
    Read(c.text);
    Lines header, body;
    WriteSplit(&header, &body);
    TMfHeaderList written;
    for (const auto& line : header) written.Add(line);
    EXPECT_EQ(written.GetValue("Content-Type"), c.content_type);
    EXPECT_EQ(written.GetValue("Content-Transfer-Encoding"), c.transfer);
    EXPECT_EQ(written.GetValue("MIME-Version"), "1.0");
    EXPECT_EQ(body, c.body);
  }
}

TEST_F(MessageWriterTest, TextPartDefaultsAndBase64Text) {
  Read(
      "Content-Type: multipart/alternative; boundary=b1\n\n"
      "--b1\n\nplain\n"
      "--b1\nContent-Type: message/rfc822\n\nSubject: inner\n"
      "--b1\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\nYWJj\n"
      "--b1--\n");
  const Lines body = BodyLines();
  const Lines expected{std::string(kPreambleLine),
                       "",
                       "--" + kMain,
                       "Content-Type: text/plain",
                       "Content-Transfer-Encoding: quoted-printable",
                       "",
                       "plain",
                       "",
                       "--" + kMain,
                       "Content-Type: message/rfc822",
                       "Content-Transfer-Encoding: 7bit",
                       "",
                       "Subject: inner",
                       "",
                       "--" + kMain,
                       "Content-Type: text/plain",
                       "Content-Transfer-Encoding: base64",
                       "",
                       "YWJjDQo=",
                       "",
                       "--" + kMain + "--"};
  EXPECT_EQ(body, expected);
}

TEST_F(MessageWriterTest, BodyEncodedAttachmentBecomesMultipartWithoutTheOldEncoding) {
  Read(
      "MIME-Version: 1.0\n"
      "Content-Type: application/pdf; name=\"a.pdf\"\n"
      "Content-Transfer-Encoding: base64\n"
      "Content-Disposition: attachment; filename=\"a.pdf\"\n\n"
      "YWJj\n");
  Lines header, body;
  WriteSplit(&header, &body);
  TMfHeaderList written;
  for (const auto& line : header) written.Add(line);
  EXPECT_EQ(written.GetValue("Content-Type"), "multipart/mixed; boundary=\"" + kMain + "\"");
  EXPECT_EQ(written.IndexOfName("Content-Transfer-Encoding"), -1);
  EXPECT_EQ(written.IndexOfName("Content-Disposition"), -1);
  EXPECT_EQ(body, (Lines{std::string(kPreambleLine), "", "", "--" + kMain,
                         "Content-Type: application/octet-stream;", "        name=\"a.pdf\"",
                         "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
                         "        filename=\"a.pdf\"", "", "YWJj", "", "--" + kMain + "--"}));
}

TEST_F(MessageWriterTest, NestedContainerIsNotWrittenButItsPartsAre) {
  Read(
      "Content-Type: multipart/mixed; boundary=b1\n\n"
      "--b1\nContent-Type: multipart/alternative; boundary=b2\n\nnested preamble\n"
      "--b2\n\nplain\n--b2\nContent-Type: text/html\n\nhtml\n--b2--\n"
      "--b1\nContent-Disposition: attachment; filename=\"C:\\docs\\x.bin\"\n\nabc\n"
      "--b1--\n");
  const std::string data = Write();
  EXPECT_EQ(data.find("nested preamble"), std::string::npos);
  EXPECT_NE(data.find("\r\nContent-Type: multipart/alternative; \r\n"), std::string::npos);
  EXPECT_NE(data.find("\r\nplain\r\n"), std::string::npos);
  EXPECT_NE(data.find("\r\nhtml\r\n"), std::string::npos);
  // The folder part of a file name does not go out.
  EXPECT_NE(data.find("        filename=\"x.bin\"\r\n"), std::string::npos);
}

TEST_F(MessageWriterTest, JapaneseSystemWritesAPlainBodyInIso2022Jp) {
  testing::FakeLocaleLanguage japanese("ja", "JP", false);
  MessagePorts ports = ports_.ports();
  ports.locale = &japanese;
  TMfMessage message(ports);
  // HIRAGANA LETTER A in Shift_JIS.
  message.Body().push_back("\x82\xA0");
  MemoryConnection plain;
  WriteMessage(plain.connection(), message);
  EXPECT_NE(plain.Sent().find("\r\n\r\n\x1B$B$\"\x1B(B\r\n"), std::string::npos);
}

TEST_F(MessageWriterTest, AttachmentWithAContentIdMakesARelatedBody) {
  Read("Subject: x\n\nbegin 644 cat.txt\n#0V%T\nend\n");
  message_.MessageParts()[0].ExtraHeaders().Add("Content-ID: <cat@x>");
  Lines header, body;
  WriteSplit(&header, &body);
  EXPECT_EQ(message_.ContentType(),
            "multipart/related; type=\"multipart/alternative\"; boundary=\"" +
                std::string(kRelatedBoundary) + "\"");
  const std::string related(kRelatedBoundary);
  EXPECT_EQ(body.at(3), "--" + related);
  EXPECT_NE(std::find(body.begin(), body.end(), "Content-ID: <cat@x>"), body.end());
  EXPECT_EQ(body.back(), "--" + related + "--");
}

TEST_F(MessageWriterTest, AttachmentContentGoesOutInBase64LinesOf76) {
  for (const std::size_t size : {0ul, 1ul, 56ul, 57ul, 58ul, kBase64LineBytes * 1024 + 1}) {
    SCOPED_TRACE(size);
    message_.Clear();
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + size);
    const std::string path = (ports_.dir() / "content.bin").string();
    std::ofstream(path, std::ios::binary) << content;
    TMfAttachment& attachment = message_.MessageParts().AddAttachment();
    attachment.SetStoredPathName(path);
    attachment.SetFileName("content.bin");

    const Lines body = BodyLines();
    const auto start = std::find(body.begin(), body.end(), "        filename=\"content.bin\"");
    ASSERT_NE(start, body.end());
    std::string decoded;
    for (auto line = start + 2; line != body.end() && !line->empty(); ++line) {
      EXPECT_LE(line->size(), 76u);
      decoded += Base64Decode(*line);
    }
    EXPECT_EQ(decoded, content);
  }
}

TEST_F(MessageWriterTest, WritingFailuresPropagate) {
  Read("Subject: x\n\nbegin 644 cat.txt\n#0V%T\nend\n");
  const std::string path =
      static_cast<const TMfAttachment&>(message_.MessageParts()[0]).StoredPathName();
  std::filesystem::remove(path);
  try {
    Write();
    FAIL() << "no error";
  } catch (const EMfException& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot open file \"" + path + "\". No such file or directory");
  }

  message_.Clear();
  Read("Subject: x\n\n" + std::string(100, 'x') + "\n");
  message_.Body().resize(2000, std::string(100, 'y'));
  testing::MemorySocketStack::Peer failing;
  failing.stream = testing::StreamOf("");
  failing.send_error = 10054;
  MemoryConnection out(std::move(failing));
  EXPECT_THROW(WriteMessage(out.connection(), message_), EMfSocketError);
}

}  // namespace
}  // namespace mailferry

#include "message/body_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "message/message_constants.h"
#include "platform/linux_temp_files.h"
#include "support/memory_connection.h"
#include "support/message_ports.h"

namespace mailferry {
namespace {

using Lines = std::vector<std::string>;
using BodyReaderTest = testing::MessageReadingTest;

std::string FileContent(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

const TMfText& TextAt(const TMfMessage& message, int i) {
  return static_cast<const TMfText&>(message.MessageParts()[i]);
}

const TMfAttachment& AttachmentAt(const TMfMessage& message, int i) {
  return static_cast<const TMfAttachment&>(message.MessageParts()[i]);
}

constexpr const char* kMultipartHeader =
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\n"
    "\n";

TEST_F(BodyReaderTest, PlainBodyLinesLoseOnlyTheStuffingDot) {
  // As sent by the server: "..x" was ".x" in the message; ".x" alone was never stuffed.
  connection_ = std::make_unique<testing::MemoryConnection>(
      "Subject: x\r\n\r\n..x\r\n.x\r\n..\r\n--\r\nbegin 644\r\n.\r\n");
  ReceiveMessage(connection_->connection(), message_);
  EXPECT_EQ(message_.Body(), (Lines{".x", ".x", ".", "--", "begin 644"}));
  EXPECT_TRUE(message_.MessageParts().Empty());
}

TEST_F(BodyReaderTest, SinglePartEncodedBodyBecomesOneDecodedTextPart) {
  struct Case {
    const char* transfer;
    const char* body;
    Lines expected;
  } cases[] = {
      {"quoted-printable", "soft=\nbreak and caf=E9\n=2Edot\n", {"softbreak and caf\xE9", ".dot"}},
      {"base64", "TGluZSBvbmUNCkxpbmUg\ndHdvDQo=\n", {"Line one", "Line two"}},
      {"BASE64", "YQ1iCmMNCmQ=\n", {"a", "b", "c", "d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.transfer);
    message_.Clear();
    Read(std::string("Content-Type: text/plain; charset=iso-8859-1\n"
                     "Content-Transfer-Encoding: ") +
         c.transfer + "\n\n" + c.body);
    EXPECT_TRUE(message_.Body().empty());
    ASSERT_EQ(message_.MessageParts().Count(), 1);
    const TMfText& text = TextAt(message_, 0);
    EXPECT_EQ(text.Body(), c.expected);
    EXPECT_EQ(text.ContentType(), "");
    EXPECT_EQ(text.ContentTransfer(), "");
  }
}

TEST_F(BodyReaderTest, SinglePartEncodedBodyWithANameBecomesAnAttachment) {
  Read(
      "Content-Type: application/octet-stream; name=\"data.bin\"\n"
      "Content-Transfer-Encoding: base64\n\n"
      "AAEC/w==\n");
  ASSERT_EQ(message_.MessageParts().Count(), 1);
  const TMfAttachment& attachment = AttachmentAt(message_, 0);
  EXPECT_EQ(attachment.FileName(), "data.bin");
  EXPECT_EQ(FileContent(attachment.StoredPathName()), std::string("\x00\x01\x02\xff", 4));
}

TEST_F(BodyReaderTest, MultipartBodyBecomesPartsWithPreambleAndEpilogueInBody) {
  Read(std::string(kMultipartHeader) +
       "preamble\n"
       "--B1\n"
       "Content-Type: text/plain; charset=us-ascii\n"
       "Content-Transfer-Encoding:7bit\n"
       "Content-ID: <dropped@x>\n"
       "\n"
       "hello\n"
       ".dot\n"
       "\n"
       "--b1  \n"
       "Content-Type: application/pdf;\n"
       "\tname=\"=?UTF-8?Q?K=C3=B6ln.pdf?=\"\n"
       "Content-Disposition: attachment; filename=report.pdf; size=3\n"
       "Content-Transfer-Encoding: base64\n"
       "\n"
       "YWJj\n"
       "--b1--\n"
       "epilogue\n");
  EXPECT_EQ(message_.Body(), (Lines{"preamble", "epilogue"}));
  ASSERT_EQ(message_.MessageParts().Count(), 2);
  const TMfText& text = TextAt(message_, 0);
  EXPECT_EQ(text.Body(), (Lines{"hello", ".dot", ""}));
  EXPECT_EQ(text.ContentType(), "text/plain; charset=us-ascii");
  EXPECT_EQ(text.ContentTransfer(), "7bit");
  EXPECT_EQ(text.Headers().GetValue("Content-ID"), "");
  const TMfAttachment& pdf = AttachmentAt(message_, 1);
  // An unquoted file name ends where the next parameter begins.
  EXPECT_EQ(pdf.FileName(), "report.pdf");
  EXPECT_EQ(pdf.ContentType(), "application/pdf; name=\"=?UTF-8?Q?K=C3=B6ln.pdf?=\"");
  EXPECT_EQ(pdf.ContentDisposition(), "attachment; filename=report.pdf; size=3");
  EXPECT_EQ(FileContent(pdf.StoredPathName()), "abc");
  EXPECT_EQ(message_.MIMEBoundary().Count(), 0);
}

TEST_F(BodyReaderTest, PartTypeAndFileNameComeFromDispositionAndContentType) {
  struct Case {
    const char* headers;
    TMfPartKind kind;
    const char* file_name;
  } cases[] = {
      {"Content-Disposition: attachment\n", TMfPartKind::kAttachment, ""},
      {"Content-Disposition: ATTACHMENT ; filename=\"a b.txt\"\n", TMfPartKind::kAttachment,
       "a b.txt"},
      {"Content-Type: text/plain; name=n.txt\n", TMfPartKind::kAttachment, "n.txt"},
      {"Content-Type: image/png\nContent-Disposition: inline\n", TMfPartKind::kText, ""},
      {"Content-Type: text/plain; name=\"=?UTF-8?B?S8O2bG4=?=\"\n", TMfPartKind::kAttachment,
       "K\xC3\xB6ln"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    message_.Clear();
    Read(std::string(kMultipartHeader) + "--b1\n" + c.headers + "\ncontent\n--b1--\n");
    ASSERT_EQ(message_.MessageParts().Count(), 1);
    EXPECT_EQ(message_.MessageParts()[0].Kind(), c.kind);
    if (c.kind == TMfPartKind::kAttachment) {
      EXPECT_EQ(AttachmentAt(message_, 0).FileName(), c.file_name);
    }
  }
}

TEST_F(BodyReaderTest, EightBitMultipartReadsItsPartsWithTheirOwnHeaders) {
  Read(
      "Content-Type: multipart/alternative; boundary=b1\n"
      "Content-Transfer-Encoding: 8bit\n\n"
      "--b1\nContent-Transfer-Encoding: quoted-printable\n\na=3Db\n--b1--\n");
  ASSERT_EQ(message_.MessageParts().Count(), 1);
  EXPECT_EQ(TextAt(message_, 0).Body(), Lines{"a=b"});
}

TEST_F(BodyReaderTest, UnclosedLastPartEndsCleanlyAtTheEndLine) {
  Read(std::string(kMultipartHeader) + "--b1\n\nlast\n", "NEXT\r\n");
  ASSERT_EQ(message_.MessageParts().Count(), 1);
  EXPECT_EQ(TextAt(message_, 0).Body(), Lines{"last"});
  EXPECT_EQ(NextLine(), "NEXT");
}

TEST_F(BodyReaderTest, NestedMultipartKeepsItsPartsAndMarksTheContainer) {
  Read(std::string(kMultipartHeader) +
       "--b1\n"
       "Content-Type: multipart/alternative; boundary=\"b2\"\n"
       "\n"
       "nested preamble\n"
       "--b2\n\nplain\n"
       "--b2\nContent-Type: text/html\n\n<p>html</p>\n"
       "--b2--\n"
       "between\n"
       "--b1\nContent-Disposition: attachment; filename=x\n\nxyz\n"
       "--b1--\n");
  ASSERT_EQ(message_.MessageParts().Count(), 4);
  EXPECT_TRUE(TextAt(message_, 0).IsMultipartContainer());
  EXPECT_EQ(TextAt(message_, 0).Body(), Lines{"nested preamble"});
  EXPECT_EQ(TextAt(message_, 1).Body(), Lines{"plain"});
  EXPECT_FALSE(TextAt(message_, 1).IsMultipartContainer());
  EXPECT_EQ(TextAt(message_, 2).Body(), Lines{"<p>html</p>"});
  EXPECT_EQ(AttachmentAt(message_, 3).FileName(), "x");
  EXPECT_EQ(message_.Body(), Lines{"between"});
  EXPECT_EQ(message_.MIMEBoundary().Count(), 0);
}

TEST_F(BodyReaderTest, NestedMultipartReusingItsParentsBoundaryReadsFlat) {
  // The inner delimiters cannot be told from the outer ones: the parts come out one after the
  // other, and whatever follows the first closing line stays in Body.
  Read(std::string(kMultipartHeader) +
           "--b1\n"
           "Content-Type: multipart/alternative; boundary=\"B1\"\n"
           "\n"
           "--b1\n\none\n"
           "--b1\n\ntwo\n"
           "--b1--\n"
           "--b1\n\nthree\n"
           "--b1--\n",
       "NEXT\r\n");
  ASSERT_EQ(message_.MessageParts().Count(), 3);
  EXPECT_EQ(TextAt(message_, 1).Body(), Lines{"one"});
  EXPECT_EQ(TextAt(message_, 2).Body(), Lines{"two"});
  EXPECT_EQ(message_.Body(), (Lines{"--b1", "", "three", "--b1--"}));
  EXPECT_EQ(NextLine(), "NEXT");
}

TEST_F(BodyReaderTest, UuencodedBlocksBecomeAttachments) {
  Read(
      "Subject: files\n\n"
      "before\n"
      "begin 644 cat.txt\n"
      "#0V%T\n"
      "`\n"
      "end\n"
      "middle\n"
      "begin 600 full.bin  \n"
      "M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7HQ,C,T-38W.#DP86)C9&5F9VAI\n"
      "end\n"
      "begin 644 xx.txt\n"
      "\n"
      "1Eq3o\n"
      "end\n"
      "begin 644 empty\n"
      "end\n"
      "after\n");
  EXPECT_EQ(message_.Body(), (Lines{"before", "middle", "after"}));
  ASSERT_EQ(message_.MessageParts().Count(), 4);
  EXPECT_EQ(AttachmentAt(message_, 0).FileName(), "cat.txt");
  EXPECT_EQ(FileContent(AttachmentAt(message_, 0).StoredPathName()), "Cat");
  EXPECT_EQ(AttachmentAt(message_, 1).FileName(), "full.bin");
  EXPECT_EQ(FileContent(AttachmentAt(message_, 1).StoredPathName()),
            "abcdefghijklmnopqrstuvwxyz1234567890abcdefghi");
  EXPECT_EQ(FileContent(AttachmentAt(message_, 2).StoredPathName()), "Cat");
  EXPECT_EQ(FileContent(AttachmentAt(message_, 3).StoredPathName()), "");
  EXPECT_EQ(AttachmentAt(message_, 3).ContentType(), "");
}

TEST_F(BodyReaderTest, ReadingFailuresKeepThePartsReadSoFarAndLeakNoTempFile) {
  struct Case {
    const char* name;
    std::string text;
    const char* error;
  } cases[] = {
      {"ends inside a part header",
       std::string(kMultipartHeader) +
           "--b1\nContent-Disposition: attachment\n\nabc\n--b1\nContent-Type: text/plain\n",
       "Unknown Message Part Type."},
      {"unknown uuencoding", "Subject: x\n\nbegin 644 a.bin\nZZZ\nend\n",
       "Unrecognized UUE encoding scheme."},
      {"uneven base64",
       std::string(kMultipartHeader) +
           "--b1\nContent-Disposition: attachment\nContent-Transfer-Encoding: base64\n\n"
           "QUJD\nQUJDR\n--b1--\n",
       "Uneven size in DecodeToStream."},
      {"overlong line in an attachment",
       std::string(kMultipartHeader) + "--b1\nContent-Disposition: attachment\n\n" +
           std::string(16385, 'x') + "\n--b1--\n",
       "Max line length exceeded."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    message_.Clear();
    EXPECT_EQ(ReadError(c.text), c.error);
    for (int i = 0; i < message_.MessageParts().Count(); ++i) {
      if (message_.MessageParts()[i].Kind() == TMfPartKind::kAttachment) {
        EXPECT_EQ(FileContent(AttachmentAt(message_, i).StoredPathName()), "abc\r\n");
      }
    }
    const int kept = message_.MessageParts().Count();
    EXPECT_EQ(ports_.FileCount(), kept);
    message_.Clear();
    EXPECT_EQ(ports_.FileCount(), 0);
  }
}

TEST_F(BodyReaderTest, TempFileFailuresPropagateAndLeaveNoFile) {
  const std::string text = std::string(kMultipartHeader) +
                           "--b1\nContent-Disposition: attachment\n\n" + std::string(100, 'x') +
                           "\n--b1--\n";
  ports_.temp_files().set_fail_create(true);
  EXPECT_NE(ReadError(text).find("Cannot create file"), std::string::npos);
  EXPECT_EQ(ports_.FileCount(), 0);

  ports_.temp_files().set_fail_create(false);
  ports_.temp_files().set_write_limit(10);
  message_.Clear();
  EXPECT_NE(ReadError(text).find("Cannot write file"), std::string::npos);
  EXPECT_EQ(message_.MessageParts().Count(), 0);
  EXPECT_EQ(ports_.FileCount(), 0);
}

TEST_F(BodyReaderTest, AttachmentFilesArePrivateAndGoWithTheMessage) {
  testing::TempDir dir;
  LinuxTempFiles temp_files(dir.path().string());
  MessagePorts ports = ports_.ports();
  ports.temp_files = &temp_files;
  std::string path;
  {
    TMfMessage message(ports);
    testing::MemoryConnection connection(testing::Pop3Retrieval(
        std::string(kMultipartHeader) + "--b1\nContent-Disposition: attachment\n\nabc\n"));
    ReceiveMessage(connection.connection(), message);
    path = static_cast<const TMfAttachment&>(message.MessageParts()[0]).StoredPathName();
    EXPECT_TRUE(static_cast<const TMfAttachment&>(message.MessageParts()[0]).FileIsTempFile());
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(BodyReaderTest, LimitsBoundPartsAndTextHeldInMemory) {
  std::string many_parts = kMultipartHeader;
  for (int i = 0; i <= kMaxMessageParts; ++i) many_parts += "--b1\n\nx\n";
  EXPECT_EQ(ReadError(many_parts), "Too many message parts.");
  EXPECT_EQ(message_.MessageParts().Count(), kMaxMessageParts);

  // Lines streamed until more than the limit has been sent: long ones in a plain body, and
  // empty ones in a text part, which cost memory for each line however short.
  const struct {
    const char* head;
    std::string line;
  } streams[] = {
      {"Subject: long\r\n\r\n", std::string(16000, 'y') + "\r\n"},
      {"Content-Type: multipart/mixed; boundary=b1\r\n\r\n--b1\r\n\r\n", "\r\n"},
  };
  for (const auto& stream : streams) {
    SCOPED_TRACE(stream.head);
    message_.Clear();
    std::string pending = stream.head;
    std::size_t sent = 0;
    testing::MemorySocketStack::Peer peer;
    peer.stream = [&](char* buffer, std::size_t size) {
      if (pending.empty()) {
        pending = sent <= kMaxMessageTextBytes + (1 << 20) ? stream.line : ".\r\n";
        sent += pending.size() + sizeof(std::string);
      }
      const std::size_t count = std::min(size, pending.size());
      pending.copy(buffer, count);
      pending.erase(0, count);
      return count;
    };
    testing::MemoryConnection connection(std::move(peer));
    try {
      ReceiveMessage(connection.connection(), message_);
      ADD_FAILURE() << "no error";
    } catch (const EMfException& error) {
      EXPECT_STREQ(error.what(), "Message text too large.");
    }
  }
}

TEST_F(BodyReaderTest, LinesCrossingReceivesReadTheSame) {
  const std::string text = std::string(kMultipartHeader) +
                           "pre\n--b1\nContent-Transfer-Encoding: base64\n\nYWJj\n"
                           "--b1\nContent-Disposition: attachment; filename=f\n\nabc\n--b1--\n";
  testing::MemoryConnection connection(testing::Pop3Retrieval(text), 1);
  TMfMessage message(ports_.ports());
  ReceiveMessage(connection.connection(), message);
  ASSERT_EQ(message.MessageParts().Count(), 2);
  EXPECT_EQ(static_cast<const TMfText&>(message.MessageParts()[0]).Body(), Lines{"abc"});
  EXPECT_EQ(
      FileContent(static_cast<const TMfAttachment&>(message.MessageParts()[1]).StoredPathName()),
      "abc\r\n");
}

}  // namespace
}  // namespace mailferry

#include "message/message_writer.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "common/ascii_text.h"
#include "message/coders.h"
#include "message/encoded_words.h"
#include "message/internet_date.h"
#include "message/jis.h"
#include "message/message_constants.h"
#include "message/message_decoder.h"

namespace mailferry {
namespace {

// Attachment files are read this many bytes at a time: whole 57-byte base64 lines.
constexpr std::size_t kAttachmentChunk = kBase64LineBytes * 1024;

// Eight blanks start the continuation lines the writer makes itself.
constexpr std::string_view kIndent = "        ";

// The shape of the body to be written, decided before the header is generated (which changes
// the message's content type).
struct BodyLayout {
  enum class Shape { kPlain, kSingleText, kAlternative, kMixed };
  Shape shape = Shape::kPlain;
  // The text parts to write (multipart containers left out) and the attachments, in part order.
  std::vector<TMfText*> texts;
  std::vector<TMfAttachment*> attachments;
  bool related = false;
  // The message was read with a multipart content type: its Body is preamble and epilogue.
  bool read_as_multipart = false;
  // kMixed without text parts: the Body lines of a message that was not multipart go in a first
  // section of this type and transfer encoding, unless they are blank.
  bool write_body_text = false;
  std::string body_text_type;
  std::string body_text_transfer;
};

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  text = Trim(text);
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

bool HasEightBitByte(const std::vector<std::string>& lines) {
  return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return std::any_of(line.begin(), line.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  });
}

bool HasText(const std::vector<std::string>& lines) {
  return std::any_of(lines.begin(), lines.end(),
                     [](const std::string& line) { return !Trim(line).empty(); });
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The content type a text part is written with: text/plain when it has none, and also when it
// claims a multipart type whose structure was not read (its lines are raw text then).
std::string TextPartType(const TMfText& part) {
  std::string type = part.ContentType();
  if (type.empty() || StartsWithIgnoringCase(type, "multipart/")) return "text/plain";
  return type;
}

// The transfer encoding a text part without one is written with: quoted-printable, except for an
// embedded message, which MIME allows only as it is.
std::string DefaultTextTransfer(const TMfText& part, std::string_view type) {
  if (StartsWithIgnoringCase(type, "message/")) {
    return HasEightBitByte(part.Body()) ? "8bit" : "7bit";
  }
  return "quoted-printable";
}

BodyLayout PlanBody(TMfMessage& message) {
  BodyLayout layout;
  TMfMessageParts& parts = message.MessageParts();
  parts.CountParts();
  for (int i = 0; i < parts.Count(); ++i) {
    TMfMessagePart& part = parts[i];
    if (part.Kind() == TMfPartKind::kAttachment) {
      layout.attachments.push_back(static_cast<TMfAttachment*>(&part));
    } else if (!static_cast<TMfText&>(part).IsMultipartContainer()) {
      layout.texts.push_back(static_cast<TMfText*>(&part));
    }
  }
  layout.related = parts.RelatedPartCount() > 0;
  layout.read_as_multipart = StartsWithIgnoringCase(message.ContentType(), "multipart/");
  if (!layout.attachments.empty()) {
    layout.shape = BodyLayout::Shape::kMixed;
  } else if (layout.texts.size() >= 2) {
    layout.shape = BodyLayout::Shape::kAlternative;
  } else if (layout.texts.size() == 1) {
    layout.shape = BodyLayout::Shape::kSingleText;
  }
  if (layout.shape == BodyLayout::Shape::kMixed && layout.texts.empty() &&
      !layout.read_as_multipart && HasText(message.Body())) {
    // A plain body with uuencoded blocks: its text keeps the type and charset it arrived with.
    layout.write_body_text = true;
    if (StartsWithIgnoringCase(message.ContentType(), "text/")) {
      layout.body_text_type = message.ContentType();
    } else {
      layout.body_text_type = "text/plain";
      if (!message.CharSet().empty()) {
        layout.body_text_type += "; charset=" + Quoted(message.CharSet());
      }
    }
    layout.body_text_transfer = HasEightBitByte(message.Body()) ? "8bit" : "7bit";
  }
  return layout;
}

// A header value whose every line break (CR LF, CR or LF, as decoded words or a received line
// can hold them) is followed by a blank or tab: the header list then keeps the text after it on
// a continuation line instead of starting a new header with it.
std::string FoldedBreaks(std::string_view value) {
  if (value.find_first_of("\r\n") == std::string_view::npos) return std::string(value);
  std::string folded;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c != '\r' && c != '\n') {
      folded += c;
      continue;
    }
    if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    folded += "\r\n";
    if (i + 1 >= value.size() || (value[i + 1] != ' ' && value[i + 1] != '\t')) folded += '\t';
  }
  return folded;
}

std::string JoinNewsGroups(const std::vector<std::string>& groups) {
  std::string joined;
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const std::string& group = groups[i];
    if (i > 0) joined += ',';
    const bool quote = std::any_of(group.begin(), group.end(), [](char c) {
      return static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',';
    });
    if (!quote) {
      joined += group;
      continue;
    }
    joined += '"';
    for (char c : group) {
      if (c == '"') joined += '"';
      joined += c;
    }
    joined += '"';
  }
  return joined;
}

// Sets the message's content type and transfer encoding for the body it will be written with,
// and returns whether the charset field is to be appended to that content type.
bool ApplyLayout(TMfMessage& message, const BodyLayout& layout) {
  const bool multipart =
      layout.shape == BodyLayout::Shape::kMixed || layout.shape == BodyLayout::Shape::kAlternative;
  if (layout.shape == BodyLayout::Shape::kMixed) {
    message.SetContentType(layout.related
                               ? "multipart/related; type=" + Quoted("multipart/alternative") +
                                     "; boundary=" + Quoted(kRelatedBoundary)
                               : "multipart/mixed; boundary=" + Quoted(kMainBoundary));
  } else if (layout.shape == BodyLayout::Shape::kAlternative) {
    message.SetContentType("multipart/alternative; boundary=" + Quoted(kMainBoundary));
  }
  if (multipart) {
    // A multipart body is never transfer-encoded as a whole; its parts carry their encodings.
    if (!IsIdentityTransferEncoding(message.ContentTransferEncoding())) {
      message.SetContentTransferEncoding("");
    }
    return true;
  }
  if (layout.shape != BodyLayout::Shape::kSingleText) return true;

  // One text part goes out as the whole body. A part read from a body encoded as a whole has no
  // header of its own: the message's type and transfer encoding are its own.
  TMfText& part = *layout.texts.front();
  const bool own_type = !part.ContentType().empty();
  std::string type = TextPartType(part);
  if (!own_type && !message.ContentType().empty() &&
      !StartsWithIgnoringCase(message.ContentType(), "multipart/")) {
    type = message.ContentType();
  }
  if (part.ContentTransfer().empty()) {
    part.SetContentTransfer(!message.ContentTransferEncoding().empty() && !own_type
                                ? message.ContentTransferEncoding()
                                : DefaultTextTransfer(part, type));
  }
  part.SetContentType(type);
  message.SetContentType(std::move(type));
  message.SetContentTransferEncoding(part.ContentTransfer());
  return !own_type;
}

// Base64 lines of 76 characters (57 bytes each) from a stream of bytes.
class Base64LineWriter {
 public:
  explicit Base64LineWriter(TMfTCPConnection& connection) : connection_(connection) {}

  void Append(std::string_view bytes) {
    if (!pending_.empty()) {
      const std::size_t take = std::min(bytes.size(), kBase64LineBytes - pending_.size());
      pending_.append(bytes.substr(0, take));
      bytes.remove_prefix(take);
      if (pending_.size() < kBase64LineBytes) return;
      connection_.WriteLine(Base64Encode(pending_));
      pending_.clear();
    }
    const std::size_t whole = bytes.size() - bytes.size() % kBase64LineBytes;
    if (whole > 0) {
      // One encoding of many lines, cut into 76-character lines.
      const std::string encoded = Base64Encode(bytes.substr(0, whole));
      const std::size_t line_length = kBase64LineBytes / 3 * 4;
      for (std::size_t at = 0; at < encoded.size(); at += line_length) {
        connection_.WriteLine(std::string_view(encoded).substr(at, line_length));
      }
    }
    pending_.append(bytes.substr(whole));
  }

  void Finish() {
    if (!pending_.empty()) connection_.WriteLine(Base64Encode(pending_));
    pending_.clear();
  }

 private:
  TMfTCPConnection& connection_;
  std::string pending_;
};

// The lines of a text part's content, encoded as its transfer encoding says.
void WriteTextContent(TMfTCPConnection& connection, const TMfText& part, bool jis_conversion) {
  const std::string transfer(Trim(part.ContentTransfer()));
  if (SameTextAscii(transfer, "quoted-printable")) {
    for (const auto& line : part.Body()) {
      std::string data = QPEncode(line + "\r\n");
      if (jis_conversion) data = ShiftJisToJis(data);
      std::string_view rest = data;
      // The encoded text ends with the line's own CR LF; soft line breaks make more lines.
      while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        WriteBodyLine(connection, rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 2);
      }
    }
  } else if (SameTextAscii(transfer, "base64")) {
    Base64LineWriter writer(connection);
    for (const auto& line : part.Body()) {
      writer.Append(jis_conversion ? ShiftJisToJis(line) : line);
      writer.Append("\r\n");
    }
    writer.Finish();
  } else {
    for (const auto& line : part.Body()) WriteBodyLine(connection, line);
  }
}

[[noreturn]] void FailOnFile(const char* what, const std::string& path, int error) {
  throw EMfException("Cannot " + std::string(what) + " file \"" + path + "\". " +
                     std::system_category().message(error));
}

void WriteAttachmentContent(TMfTCPConnection& connection, const TMfAttachment& attachment) {
  const std::string& path = attachment.StoredPathName();
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) FailOnFile("open", path, errno != 0 ? errno : ENOENT);
  Base64LineWriter writer(connection);
  std::string chunk(kAttachmentChunk, '\0');
  for (;;) {
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(file.gcount());
    if (got > 0) writer.Append(std::string_view(chunk).substr(0, got));
    if (file.bad()) FailOnFile("read", path, errno != 0 ? errno : EIO);
    if (got < chunk.size()) break;
  }
  writer.Finish();
}

// The file name as it goes into a quoted name parameter: without any folder part, and as encoded
// words when it holds 8-bit or control characters or a character a quoted string cannot hold
// as it is.
std::string FileNameParameter(const std::string& file_name, const HeaderCharset& charset) {
  const std::size_t folder_end = file_name.find_last_of("\\:");
  const std::string name =
      folder_end == std::string::npos ? file_name : file_name.substr(folder_end + 1);
  return EncodeHeader(name, "\"\\", charset.letter, charset.jis_conversion, charset.name);
}

void WriteAttachment(TMfTCPConnection& connection, TMfAttachment& attachment,
                     std::string_view boundary, const HeaderCharset& charset) {
  connection.WriteLine("");
  connection.WriteLine("--" + std::string(boundary));
  attachment.SetContentTransfer("base64");
  if (attachment.ContentDisposition().empty()) attachment.SetContentDisposition("attachment");
  if (attachment.ContentType().empty()) attachment.SetContentType("application/octet-stream");
  const std::string name = Quoted(FileNameParameter(attachment.FileName(), charset));
  WriteHeaderLine(connection, "Content-Type: " + attachment.ContentType() + ";");
  WriteHeaderLine(connection, std::string(kIndent) + "name=" + name);
  WriteHeaderLine(connection, "Content-Transfer-Encoding: " + attachment.ContentTransfer());
  WriteHeaderLine(connection, "Content-Disposition: " + attachment.ContentDisposition() + ";");
  WriteHeaderLine(connection, std::string(kIndent) + "filename=" + name);
  for (const auto& line : attachment.ExtraHeaders().Lines()) WriteHeaderLine(connection, line);
  connection.WriteLine("");
  WriteAttachmentContent(connection, attachment);
  connection.WriteLine("");
}

void WriteBody(TMfTCPConnection& connection, TMfMessage& message, const BodyLayout& layout,
               const HeaderCharset& charset) {
  const bool jis = charset.jis_conversion;
  switch (layout.shape) {
    case BodyLayout::Shape::kPlain:
      if (jis) {
        for (const auto& line : message.Body()) WriteBodyLine(connection, ShiftJisToJis(line));
      } else {
        WriteBodyText(connection, message.Body());
      }
      return;
    case BodyLayout::Shape::kSingleText:
      WriteTextContent(connection, *layout.texts.front(), jis);
      return;
    case BodyLayout::Shape::kAlternative:
      connection.WriteLine(kPreambleLine);
      connection.WriteLine("");
      for (TMfText* text : layout.texts) {
        connection.WriteLine("--" + std::string(kMainBoundary));
        WriteTextPart(connection, *text, jis);
      }
      connection.WriteLine("--" + std::string(kMainBoundary) + "--");
      return;
    case BodyLayout::Shape::kMixed:
      break;
  }

  const std::string boundary(layout.related ? kRelatedBoundary : kMainBoundary);
  connection.WriteLine(kPreambleLine);
  connection.WriteLine("");
  if (layout.texts.size() >= 2) {
    connection.WriteLine("--" + boundary);
    connection.WriteLine("Content-Type: multipart/alternative; ");
    connection.WriteLine(std::string(kIndent) + "boundary=" + Quoted(kAlternativeBoundary));
    connection.WriteLine("");
    for (TMfText* text : layout.texts) {
      connection.WriteLine("--" + std::string(kAlternativeBoundary));
      WriteTextPart(connection, *text, jis);
      connection.WriteLine("");
    }
    connection.WriteLine("--" + std::string(kAlternativeBoundary) + "--");
  } else if (layout.texts.size() == 1) {
    connection.WriteLine("--" + boundary);
    WriteTextPart(connection, *layout.texts.front(), jis);
  } else if (layout.write_body_text) {
    connection.WriteLine("--" + boundary);
    WriteHeaderLine(connection, "Content-Type: " + layout.body_text_type);
    connection.WriteLine("Content-Transfer-Encoding: " + layout.body_text_transfer);
    connection.WriteLine("");
    WriteBodyText(connection, message.Body());
  }
  for (TMfAttachment* attachment : layout.attachments) {
    WriteAttachment(connection, *attachment, boundary, charset);
  }
  connection.WriteLine("--" + boundary + "--");
}

TMfHeaderList GenerateHeader(TMfMessage& message, const BodyLayout& layout,
                             const HeaderCharset& choice) {
  if (ApplyLayout(message, layout) && !message.CharSet().empty()) {
    const std::string charset = "charset=" + Quoted(message.CharSet());
    message.SetContentType(
        message.ContentType().empty() ? charset : message.ContentType() + ";\r\n\t" + charset);
  }

  TMfHeaderList list;
  list.Assign(message.Headers());
  const auto encode = [&](std::string_view text) {
    return EncodeHeader(text, "", choice.letter, choice.jis_conversion, choice.name);
  };
  const auto set = [&](std::string_view name, std::string_view value) {
    list.SetValue(name, FoldedBreaks(value));
  };
  set("From", EncodeAddressItem(message.From(), choice));
  set("Subject", encode(message.Subject()));
  set("To", EncodeAddressList(message.Recipients(), choice));
  set("Cc", EncodeAddressList(message.CCList(), choice));
  set("Newsgroups", JoinNewsGroups(message.NewsGroups()));
  set("Content-Type", message.ContentType());
  if (!message.MessageParts().Empty()) set("MIME-Version", "1.0");
  set("Content-Transfer-Encoding", message.ContentTransferEncoding());
  set("Sender", message.Sender().Text());
  set("Reply-To", EncodeAddressList(message.ReplyTo(), choice));
  set("Organization", encode(message.Organization()));
  set("Disposition-Notification-To", EncodeAddressItem(message.ReceiptRecipient(), choice));
  set("References", message.References());
  const Clock& clock = *message.Ports().clock;
  set("Date", LocalToInternetDate(message.UseNowForDate() ? clock.Now() : message.Date(), clock));
  set("X-Priority", std::to_string(static_cast<int>(message.Priority()) + 1));
  set(kLibraryHeaderName, kLibraryHeaderValue);
  const bool multipart =
      layout.shape == BodyLayout::Shape::kMixed || layout.shape == BodyLayout::Shape::kAlternative;
  if (multipart && !layout.read_as_multipart) {
    // The disposition of a body that was one part describes that part, not the new multipart.
    list.SetValue("Content-Disposition", "");
  }
  list.AddStrings(message.ExtraHeaders());
  if (layout.shape == BodyLayout::Shape::kSingleText) {
    list.AddStrings(layout.texts.front()->ExtraHeaders());
  }
  return list;
}

}  // namespace

TMfHeaderList GenerateHeader(TMfMessage& message) {
  return GenerateHeader(message, PlanBody(message), ChooseHeaderCharset(*message.Ports().locale));
}

void WriteMessage(TMfTCPConnection& connection, TMfMessage& message) {
  const HeaderCharset charset = ChooseHeaderCharset(*message.Ports().locale);
  const BodyLayout layout = PlanBody(message);
  const TMfHeaderList header = GenerateHeader(message, layout, charset);
  for (const auto& line : header.Lines()) WriteHeaderLine(connection, line);
  connection.WriteLine("");
  WriteBody(connection, message, layout, charset);
}

void WriteBodyText(TMfTCPConnection& connection, const std::vector<std::string>& lines) {
  for (const auto& line : lines) WriteBodyLine(connection, line);
}

void WriteTextPart(TMfTCPConnection& connection, TMfText& part, bool jis_conversion) {
  const std::string type = TextPartType(part);
  part.SetContentType(type);
  if (part.ContentTransfer().empty()) part.SetContentTransfer(DefaultTextTransfer(part, type));
  WriteHeaderLine(connection, "Content-Type: " + part.ContentType());
  WriteHeaderLine(connection, "Content-Transfer-Encoding: " + part.ContentTransfer());
  for (const auto& line : part.ExtraHeaders().Lines()) WriteHeaderLine(connection, line);
  connection.WriteLine("");
  WriteTextContent(connection, part, jis_conversion);
  connection.WriteLine("");
}

void WriteBodyLine(TMfTCPConnection& connection, std::string_view line) {
  for (;;) {
    const std::size_t brk = line.find_first_of("\r\n");
    const std::string_view piece = line.substr(0, brk);
    if (!piece.empty() && piece.front() == '.') connection.WriteBytes(".");
    connection.WriteLine(piece);
    if (brk == std::string_view::npos) return;
    const std::size_t skip = line.compare(brk, 2, "\r\n") == 0 ? 2 : 1;
    line.remove_prefix(brk + skip);
  }
}

void WriteHeaderLine(TMfTCPConnection& connection, std::string_view line) {
  bool first = true;
  for (;;) {
    const std::size_t brk = line.find_first_of("\r\n");
    const std::string_view piece = line.substr(0, brk);
    if (!piece.empty()) {
      if (!first && piece.front() != ' ' && piece.front() != '\t') {
        connection.WriteBytes(" ");
      } else if (piece == ".") {
        // Never the end of the data, whatever a header list holds.
        connection.WriteBytes(".");
      }
      connection.WriteLine(piece);
    }
    // What follows a break continues this header, even when nothing stood before the break.
    first = false;
    if (brk == std::string_view::npos) return;
    const std::size_t skip = line.compare(brk, 2, "\r\n") == 0 ? 2 : 1;
    line.remove_prefix(brk + skip);
  }
}

}  // namespace mailferry

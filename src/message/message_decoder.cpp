#include "message/message_decoder.h"

#include <algorithm>

#include "common/ascii_text.h"
#include "message/coders.h"
#include "message/message_constants.h"
#include "message/message_errors.h"
#include "transport/decimal_text.h"

namespace mailferry {
namespace {

enum class TransferDecoder { kCopy, kBase64, kQuotedPrintable };

TransferDecoder DecoderFor(std::string_view encoding) {
  encoding = Trim(encoding);
  if (SameTextAscii(encoding, "base64")) return TransferDecoder::kBase64;
  if (SameTextAscii(encoding, "quoted-printable")) return TransferDecoder::kQuotedPrintable;
  return TransferDecoder::kCopy;
}

// The text of value after the first occurrence of key (searched in the upper-cased value) and one
// more character, the "=" of the parameter; empty when key does not occur.
std::string_view AfterParameterKey(std::string_view value, std::string_view upper_key) {
  const std::size_t found = UpperAscii(value).find(upper_key);
  if (found == std::string::npos) return {};
  const std::size_t start = found + upper_key.size() + 1;
  return start < value.size() ? value.substr(start) : std::string_view();
}

// A parameter value: the text between double quotes when it is quoted (to the end without a
// closing quote), else the token up to the next ";", trimmed. A file name cannot hold an
// unquoted ";", which starts the next parameter.
std::string ParameterValue(std::string_view text) {
  if (!text.empty() && text.front() == '"') {
    text.remove_prefix(1);
    return std::string(text.substr(0, text.find('"')));
  }
  return std::string(Trim(text.substr(0, text.find(';'))));
}

bool StartsWithDot(std::string_view line) { return !line.empty() && line.front() == '.'; }

// uuencode: a count character and data characters from the blank (or backquote) to "_".
bool IsUuCharacter(char c) { return c >= ' ' && c <= '`'; }
int UuValue(char c) { return (c - ' ') & 0x3F; }

constexpr std::string_view kXxAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The number of characters of a data line that encodes count bytes, count character included.
std::size_t EncodedLineLength(int count) {
  return 1 + 4 * static_cast<std::size_t>((count + 2) / 3);
}

using LineDecoder = std::string (*)(std::string_view);

// The decoder for a block whose first data line is line. "M" and "h" are the count characters
// of a full 45-byte line of uuencode and xxencode; a shorter file's only line has another count,
// and it is taken when the line is exactly as long as that count says in one of the two codes.
LineDecoder ChooseUueDecoder(std::string_view line) {
  const char count = line.front();
  if (count == 'M') return &UUDecode;
  if (count == 'h') return &XXDecode;
  if (IsUuCharacter(count) && line.size() == EncodedLineLength(UuValue(count)) &&
      std::all_of(line.begin(), line.end(), IsUuCharacter)) {
    return &UUDecode;
  }
  const std::size_t xx_count = kXxAlphabet.find(count);
  if (xx_count != std::string_view::npos &&
      line.size() == EncodedLineLength(static_cast<int>(xx_count)) &&
      std::all_of(line.begin(), line.end(),
                  [](char c) { return kXxAlphabet.find(c) != std::string_view::npos; })) {
    return &XXDecode;
  }
  throw EMfException(std::string(kUnrecognizedUueText));
}

}  // namespace

void ReadContext::CountText(std::size_t bytes) {
  text_bytes += bytes;
  if (text_bytes > kMaxMessageTextBytes) throw EMfException(std::string(kTextTooLargeText));
}

bool IsIdentityTransferEncoding(std::string_view encoding) {
  encoding = Trim(encoding);
  return encoding.empty() || SameTextAscii(encoding, "7bit") || SameTextAscii(encoding, "8bit") ||
         SameTextAscii(encoding, "binary");
}

std::string TMfMessageDecoder::HeaderValue(std::string_view) const { return std::string(); }

TMfMessageDecoderMIME::TMfMessageDecoderMIME(ReadContext& context,
                                             std::optional<std::string> first_line)
    : TMfMessageDecoder(context),
      boundary_(context.message.MIMEBoundary().Boundary()),
      body_encoded_(DecoderFor(context.message.ContentTransferEncoding()) !=
                    TransferDecoder::kCopy),
      first_line_(std::move(first_line)) {}

std::string TMfMessageDecoderMIME::HeaderValue(std::string_view name) const {
  for (const auto& [header_name, value] : headers_) {
    if (SameTextAscii(header_name, name)) return std::string(Trim(value));
  }
  return std::string();
}

void TMfMessageDecoderMIME::ReadPartHeader() {
  TMfMessage& message = context_.message;
  if (body_encoded_) {
    DecideType(message.ContentType(), message.ContentDisposition());
    return;
  }
  std::size_t header_bytes = 0;
  for (;;) {
    std::string line = context_.connection.ReadLine();
    if (line == kEndOfMessageLine) {
      part_type_ = TMfPartType::kNone;
      return;
    }
    if (line.empty()) break;
    header_bytes += line.size() + 2;
    if (header_bytes > kMaxHeaderBlockBytes) {
      throw EMfException(std::string(kHeaderTooLargeText));
    }
    // What part headers keep stays in memory with their parts.
    context_.CountLine(line.size());
    const bool continuation = line.front() == ' ' || line.front() == '\t';
    if (continuation && !headers_.empty()) {
      headers_.back().second.append(" ").append(std::string_view(line).substr(1));
      continue;
    }
    std::string_view text = line;
    if (continuation) text.remove_prefix(1);
    // Split at the first colon; "Name:value" without a blank is as valid as "Name: value".
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
      headers_.emplace_back(std::string(text), std::string());
    } else {
      headers_.emplace_back(std::string(TrimBlanks(text.substr(0, colon))),
                            std::string(text.substr(colon + 1)));
    }
  }
  const std::string content_type = HeaderValue("Content-Type");
  const std::string boundary = BoundaryParameter(content_type);
  if (!boundary.empty()) {
    message.MIMEBoundary().Push(boundary);
    boundary_ = boundary;
    declared_boundary_ = true;
  }
  DecideType(content_type, HeaderValue("Content-Disposition"));
}

void TMfMessageDecoderMIME::DecideType(std::string_view content_type,
                                       std::string_view disposition) {
  const std::string_view disposition_type = Trim(disposition.substr(0, disposition.find(';')));
  const bool named = UpperAscii(content_type).find("NAME") != std::string::npos;
  if (!SameTextAscii(disposition_type, "attachment") && !named) {
    part_type_ = TMfPartType::kText;
    return;
  }
  part_type_ = TMfPartType::kAttachment;
  std::string_view name = AfterParameterKey(disposition, "FILENAME");
  if (name.empty()) name = AfterParameterKey(content_type, "NAME");
  if (!name.empty()) file_name_ = DecodeHeader(ParameterValue(name), context_.charset);
}

std::unique_ptr<TMfMessageDecoder> TMfMessageDecoderMIME::ReadPartBody(PartSink& destination,
                                                                       bool* message_end) {
  TMfMessage& message = context_.message;
  const TransferDecoder decoder =
      DecoderFor(body_encoded_ ? std::string_view(message.ContentTransferEncoding())
                               : std::string_view(HeaderValue("Content-Transfer-Encoding")));
  for (;;) {
    std::string line;
    if (first_line_) {
      line = std::move(*first_line_);
      first_line_.reset();
    } else {
      line = context_.connection.ReadLine();
    }
    if (line == kEndOfMessageLine) {
      *message_end = true;
      return nullptr;
    }
    if (!boundary_.empty()) {
      if (IsBoundaryLine(line, boundary_)) {
        met_boundary_ = true;
        return std::make_unique<TMfMessageDecoderMIME>(context_);
      }
      if (IsClosingBoundaryLine(line, boundary_)) {
        met_boundary_ = true;
        message.MIMEBoundary().Pop();
        return nullptr;
      }
    }
    std::string_view content = line;
    if (StartsWithDot(content)) content.remove_prefix(1);
    switch (decoder) {
      case TransferDecoder::kQuotedPrintable:
        line.erase(0, line.size() - content.size());
        line.append("\r\n");
        destination.Append(QPDecode(line));
        break;
      case TransferDecoder::kBase64:
        if (!content.empty()) destination.Append(Base64Decode(content));
        break;
      case TransferDecoder::kCopy:
        destination.Append(content);
        destination.Append("\r\n");
        break;
    }
  }
}

TMfMessageDecoderUUE::TMfMessageDecoderUUE(ReadContext& context, std::string file_name)
    : TMfMessageDecoder(context) {
  part_type_ = TMfPartType::kAttachment;
  file_name_ = std::move(file_name);
}

std::unique_ptr<TMfMessageDecoder> TMfMessageDecoderUUE::ReadPartBody(PartSink& destination,
                                                                      bool* message_end) {
  LineDecoder decoder = nullptr;
  for (;;) {
    const std::string line = context_.connection.ReadLine();
    if (line == kEndOfMessageLine) {
      *message_end = true;
      return nullptr;
    }
    std::string_view data = line;
    if (StartsWithDot(data)) data.remove_prefix(1);
    const std::string_view trimmed = Trim(data);
    if (SameTextAscii(trimmed, "end")) return nullptr;
    if (trimmed.empty() || trimmed == "~") continue;
    // Empty lines before the first data line are skipped rather than decoded with no code chosen.
    if (decoder == nullptr) decoder = ChooseUueDecoder(data);
    destination.Append(decoder(data));
  }
}

std::unique_ptr<TMfMessageDecoder> TMfMessageDecoderInfoMIME::CheckForStart(
    ReadContext& context, const std::string& line) const {
  const TMfMessage& message = context.message;
  const std::string& boundary = message.MIMEBoundary().Boundary();
  if (!boundary.empty() && IsBoundaryLine(line, boundary)) {
    return std::make_unique<TMfMessageDecoderMIME>(context);
  }
  if (DecoderFor(message.ContentTransferEncoding()) != TransferDecoder::kCopy) {
    return std::make_unique<TMfMessageDecoderMIME>(context, line);
  }
  return nullptr;
}

std::unique_ptr<TMfMessageDecoder> TMfMessageDecoderInfoUUE::CheckForStart(
    ReadContext& context, const std::string& line) const {
  if (line.size() < 10 || !SameTextAscii(std::string_view(line).substr(0, 6), "begin ") ||
      line[9] != ' ') {
    return nullptr;
  }
  const std::optional<int> mode = DecimalToInt(std::string_view(line).substr(6, 3));
  if (!mode || *mode <= 0) return nullptr;
  return std::make_unique<TMfMessageDecoderUUE>(
      context, std::string(TrimRight(std::string_view(line).substr(10))));
}

TMfMessageDecoderList::TMfMessageDecoderList() {
  detectors_.push_back(std::make_unique<TMfMessageDecoderInfoMIME>());
  detectors_.push_back(std::make_unique<TMfMessageDecoderInfoUUE>());
}

const TMfMessageDecoderList& TMfMessageDecoderList::Instance() {
  static const TMfMessageDecoderList list;
  return list;
}

std::unique_ptr<TMfMessageDecoder> TMfMessageDecoderList::CheckForStart(
    ReadContext& context, const std::string& line) const {
  for (const auto& detector : detectors_) {
    if (auto reader = detector->CheckForStart(context, line)) return reader;
  }
  return nullptr;
}

}  // namespace mailferry

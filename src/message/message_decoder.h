// The part readers of message body reading and the detectors that start them: a MIME part (or a
// body transfer-encoded as a whole) and a uuencoded or xxencoded "begin" block in a plain body.
//
// Internal to body reading (body_reader.h); declared here so each reader can be tested alone.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "message/encoded_words.h"
#include "message/message.h"
#include "transport/tcp_connection.h"

namespace mailferry {

// What one body reading works on: the connection, the message being filled, the header charset
// whose encoded words are decoded, and the text held in memory so far.
struct ReadContext {
  ReadContext(TMfTCPConnection& source, TMfMessage& target, HeaderCharset header_charset)
      : connection(source), message(target), charset(std::move(header_charset)) {}

  // Counts bytes about to be held in memory (text, part header lines); throws EMfException
  // "Message text too large." past kMaxMessageTextBytes.
  void CountText(std::size_t bytes);
  // Counts one more line held in memory: its characters and the string that holds them, so
  // that many short lines cannot take more memory than the limit says.
  void CountLine(std::size_t bytes) { CountText(bytes + sizeof(std::string)); }

  TMfTCPConnection& connection;
  TMfMessage& message;
  HeaderCharset charset;
  std::size_t text_bytes = 0;
};

// Where a part reader puts the decoded content.
class PartSink {
 public:
  virtual ~PartSink() = default;
  virtual void Append(std::string_view bytes) = 0;
};

enum class TMfPartType { kNone, kText, kAttachment };

// Reads one part: first its header, then its content, up to the start of the next part, the end
// of its multipart body or the end of the message.
class TMfMessageDecoder {
 public:
  explicit TMfMessageDecoder(ReadContext& context) : context_(context) {}
  virtual ~TMfMessageDecoder() = default;
  TMfMessageDecoder(const TMfMessageDecoder&) = delete;
  TMfMessageDecoder& operator=(const TMfMessageDecoder&) = delete;

  // Reads the part header and decides PartType (kNone: the message ended inside the header).
  virtual void ReadPartHeader() = 0;

  // Reads and decodes the content into destination. Returns the reader of the next part when one
  // starts right after this one; sets *message_end when the line "." ended the message.
  virtual std::unique_ptr<TMfMessageDecoder> ReadPartBody(PartSink& destination,
                                                          bool* message_end) = 0;

  // A value of the part header, trimmed; empty when absent or when the reader reads no header.
  virtual std::string HeaderValue(std::string_view name) const;

  // True for a nested multipart container whose content ended where its first nested part
  // begins: what it read is only the nested preamble.
  virtual bool IsMultipartContainer() const { return false; }

  TMfPartType PartType() const { return part_type_; }
  const std::string& FileName() const { return file_name_; }

 protected:
  ReadContext& context_;
  TMfPartType part_type_ = TMfPartType::kNone;
  std::string file_name_;
};

// A MIME part of a multipart body, or the whole body of a message whose Content-Transfer-Encoding
// is base64 or quoted-printable ("body encoded": no part header; the message's own header
// describes it). Any other transfer encoding of the message leaves its parts to their own
// headers.
class TMfMessageDecoderMIME : public TMfMessageDecoder {
 public:
  // Takes the message's current boundary. first_line is a content line the detector already
  // read (an encoded single-part body).
  explicit TMfMessageDecoderMIME(ReadContext& context,
                                 std::optional<std::string> first_line = std::nullopt);

  void ReadPartHeader() override;
  std::unique_ptr<TMfMessageDecoder> ReadPartBody(PartSink& destination,
                                                  bool* message_end) override;
  std::string HeaderValue(std::string_view name) const override;
  bool IsMultipartContainer() const override { return declared_boundary_ && met_boundary_; }

  const std::string& Boundary() const { return boundary_; }
  bool BodyEncoded() const { return body_encoded_; }

 private:
  // Sets the part type and file name from a content type and a disposition.
  void DecideType(std::string_view content_type, std::string_view disposition);

  // The part header as name and value (the value unfolded, not yet trimmed).
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string boundary_;
  bool body_encoded_ = false;
  std::optional<std::string> first_line_;
  bool declared_boundary_ = false;
  bool met_boundary_ = false;
};

// A "begin nnn name" ... "end" block of uuencoded or xxencoded lines in a plain body.
class TMfMessageDecoderUUE : public TMfMessageDecoder {
 public:
  TMfMessageDecoderUUE(ReadContext& context, std::string file_name);

  // Nothing to read: the "begin" line gave the type and the name.
  void ReadPartHeader() override {}
  // Decodes the lines up to "end" (consumed). The first data line chooses uudecoding or
  // xxdecoding; one that is neither raises "Unrecognized UUE encoding scheme.". Never returns a
  // next reader: the lines after the block belong to the body again.
  std::unique_ptr<TMfMessageDecoder> ReadPartBody(PartSink& destination,
                                                  bool* message_end) override;
};

// A detector: recognises the first line of something to decode and makes its reader.
class TMfMessageDecoderInfo {
 public:
  virtual ~TMfMessageDecoderInfo() = default;
  virtual std::unique_ptr<TMfMessageDecoder> CheckForStart(ReadContext& context,
                                                           const std::string& line) const = 0;
};

// A line equal to "--" + the current boundary starts a MIME part; with a body transfer-encoded as
// a whole, any line starts its reader as the first content line.
class TMfMessageDecoderInfoMIME : public TMfMessageDecoderInfo {
 public:
  std::unique_ptr<TMfMessageDecoder> CheckForStart(ReadContext& context,
                                                   const std::string& line) const override;
};

// "begin " (any case), a three-character decimal mode above 0, a blank and the file name.
class TMfMessageDecoderInfoUUE : public TMfMessageDecoderInfo {
 public:
  std::unique_ptr<TMfMessageDecoder> CheckForStart(ReadContext& context,
                                                   const std::string& line) const override;
};

// The process-wide detectors in order: MIME, then UUE. Filled once on first use; read-only
// afterwards, so any thread may use it.
class TMfMessageDecoderList {
 public:
  static const TMfMessageDecoderList& Instance();

  // The reader of the first detector that recognises line, or null.
  std::unique_ptr<TMfMessageDecoder> CheckForStart(ReadContext& context,
                                                   const std::string& line) const;

 private:
  TMfMessageDecoderList();
  std::vector<std::unique_ptr<TMfMessageDecoderInfo>> detectors_;
};

// True for a transfer encoding that leaves the content as it is (empty, 7bit, 8bit, binary).
bool IsIdentityTransferEncoding(std::string_view encoding);

}  // namespace mailferry

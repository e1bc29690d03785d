#include "message/body_reader.h"

#include <cstring>
#include <string>
#include <vector>

#include "message/message_constants.h"
#include "message/message_decoder.h"
#include "message/message_errors.h"

namespace mailferry {
namespace {

// Cuts decoded text into lines at CR LF, a lone CR or a lone LF, as it arrives; the text ends at
// its first NUL. A final line break adds no empty line.
class TextLinesSink : public PartSink {
 public:
  explicit TextLinesSink(ReadContext& context) : context_(context) {}

  void Append(std::string_view bytes) override {
    if (ended_) return;
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
      bytes = bytes.substr(0, nul);
      ended_ = true;
    }
    context_.CountText(bytes.size());
    while (!bytes.empty()) {
      if (after_cr_ && bytes.front() == '\n') bytes.remove_prefix(1);
      after_cr_ = false;
      const std::size_t brk = bytes.find_first_of("\r\n");
      if (brk == std::string_view::npos) {
        current_.append(bytes);
        return;
      }
      current_.append(bytes.substr(0, brk));
      context_.CountLine(0);
      lines_.push_back(std::move(current_));
      current_.clear();
      after_cr_ = bytes[brk] == '\r';
      bytes.remove_prefix(brk + 1);
    }
  }

  std::vector<std::string> TakeLines() {
    if (!current_.empty()) {
      context_.CountLine(0);
      lines_.push_back(std::move(current_));
    }
    current_.clear();
    return std::move(lines_);
  }

 private:
  ReadContext& context_;
  std::vector<std::string> lines_;
  std::string current_;
  bool after_cr_ = false;
  bool ended_ = false;
};

class StreamSink : public PartSink {
 public:
  explicit StreamSink(std::ostream& stream) : stream_(stream) {}
  void Append(std::string_view bytes) override {
    stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::ostream& stream_;
};

void CheckPartCount(const TMfMessage& message) {
  if (message.MessageParts().Count() >= kMaxMessageParts) {
    throw EMfException(std::string(kTooManyPartsText));
  }
}

std::unique_ptr<TMfMessageDecoder> ReadTextPart(ReadContext& context, TMfMessageDecoder& reader,
                                                bool* message_end) {
  TextLinesSink sink(context);
  auto next = reader.ReadPartBody(sink, message_end);
  TMfText& part = context.message.MessageParts().AddText();
  part.SetContentType(reader.HeaderValue("Content-Type"));
  part.SetContentTransfer(reader.HeaderValue("Content-Transfer-Encoding"));
  part.Body() = sink.TakeLines();
  part.SetMultipartContainer(reader.IsMultipartContainer());
  return next;
}

std::unique_ptr<TMfMessageDecoder> ReadAttachment(ReadContext& context, TMfMessageDecoder& reader,
                                                  bool* message_end) {
  // Until the attachment takes it over, the handle deletes the file if reading fails.
  TempFile file = context.message.Ports().temp_files->Create();
  StreamSink sink(file.stream());
  auto next = reader.ReadPartBody(sink, message_end);
  file.Close();
  TMfAttachment& part = context.message.MessageParts().AddAttachment();
  part.SetContentType(reader.HeaderValue("Content-Type"));
  part.SetContentTransfer(reader.HeaderValue("Content-Transfer-Encoding"));
  part.SetContentDisposition(reader.HeaderValue("Content-Disposition"));
  part.SetFileName(reader.FileName());
  part.SetTempFile(std::move(file));
  return next;
}

}  // namespace

void ReceiveBody(TMfTCPConnection& connection, TMfMessage& message) {
  ReadContext context(connection, message, ChooseHeaderCharset(*message.Ports().locale));
  const TMfMessageDecoderList& detectors = TMfMessageDecoderList::Instance();
  bool message_end = false;
  while (!message_end) {
    std::string line = connection.ReadLine();
    if (line == kEndOfMessageLine) break;
    std::unique_ptr<TMfMessageDecoder> reader = detectors.CheckForStart(context, line);
    if (!reader) {
      if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.erase(0, 1);
      context.CountLine(line.size());
      message.Body().push_back(std::move(line));
      continue;
    }
    while (reader) {
      reader->ReadPartHeader();
      switch (reader->PartType()) {
        case TMfPartType::kNone:
          throw EMfException(std::string(kUnknownPartTypeText));
        case TMfPartType::kText:
          CheckPartCount(message);
          reader = ReadTextPart(context, *reader, &message_end);
          break;
        case TMfPartType::kAttachment:
          CheckPartCount(message);
          reader = ReadAttachment(context, *reader, &message_end);
          break;
      }
    }
  }
}

}  // namespace mailferry

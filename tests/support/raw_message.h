// A message kept as raw lines, standing in for the message model in protocol tests: it reads a
// retrieval into lines exactly as received and writes its lines into a transfer, dot-stuffed,
// with its extra headers after the header block.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "transport/message_client.h"

namespace mailferry::testing {

class RawMessage : public MessageReader, public MessageWriter {
 public:
  RawMessage() = default;
  RawMessage(MailEnvelope envelope, std::vector<std::string> lines)
      : envelope_(std::move(envelope)), lines_(std::move(lines)) {}

  const std::vector<std::string>& lines() const { return lines_; }
  const std::vector<std::pair<std::string, std::string>>& extra_headers() const {
    return extra_headers_;
  }

  // Reads lines up to "." alone (consumed, not stored); byte-stuffing is kept as received.
  void ReceiveMessage(TMfTCPConnection& connection) override;

  MailEnvelope Envelope() const override { return envelope_; }
  void SetExtraHeader(const std::string& name, const std::string& value) override;
  // The lines up to the first empty one, the extra headers, then the rest; every line starting
  // with "." gets one more.
  void WriteMessage(TMfTCPConnection& connection) override;

 private:
  MailEnvelope envelope_;
  std::vector<std::string> lines_;
  std::vector<std::pair<std::string, std::string>> extra_headers_;
};

}  // namespace mailferry::testing

#include "scanning/message_preview.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "transport/socket_layer.h"
#include "transport/tcp_client.h"

namespace mailferry {
namespace {

// A socket stack without a network whose every connection reaches one peer in memory: the peer
// sends its opening bytes, answers each line the client sends with the bytes Answer gives, and
// closes when it has nothing more to say.
class MemoryPeerStack : public SocketStack {
 public:
  explicit MemoryPeerStack(std::string opening) : incoming_(std::move(opening)) {}

  bool Startup() override { return true; }
  void Shutdown() override {}
  SocketHandle CreateSocket(SocketErrorCode*) override { return 1; }
  SocketErrorCode Bind(SocketHandle, const std::string&, int) override { return 0; }
  SocketErrorCode ResolveIPv4(const std::string&, std::string* ip) override {
    *ip = "127.0.0.1";
    return 0;
  }
  SocketErrorCode Connect(SocketHandle, const std::string&, int, int) override { return 0; }
  SocketErrorCode SetNoDelay(SocketHandle, bool) override { return 0; }
  SocketErrorCode LocalEndpoint(SocketHandle, SocketEndpoint* endpoint) override {
    *endpoint = {"127.0.0.1", 1};
    return 0;
  }
  SocketErrorCode PeerEndpoint(SocketHandle, SocketEndpoint* endpoint) override {
    *endpoint = {"127.0.0.1", 2};
    return 0;
  }
  WaitResult WaitReadable(SocketHandle, int, SocketErrorCode*) override {
    return WaitResult::kReadable;
  }
  std::ptrdiff_t Receive(SocketHandle, char* buffer, std::size_t size, SocketErrorCode*) override {
    const std::size_t count = std::min(size, incoming_.size() - read_);
    incoming_.copy(buffer, count, read_);
    read_ += count;
    return static_cast<std::ptrdiff_t>(count);
  }
  std::ptrdiff_t Send(SocketHandle, const char* data, std::size_t size, SocketErrorCode*) override {
    pending_.append(data, size);
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      const std::string line = pending_.substr(0, end + 1);
      pending_.erase(0, end + 1);
      incoming_ += Answer(line);
    }
    return static_cast<std::ptrdiff_t>(size);
  }
  void ShutdownSend(SocketHandle) override {}
  void Close(SocketHandle) override {}
  SocketErrorCode LocalHostName(std::string* name) override {
    *name = "preview";
    return 0;
  }

 protected:
  // The peer's answer to one line from the client (with its line end).
  virtual std::string Answer(const std::string&) { return {}; }

 private:
  std::string incoming_;
  std::size_t read_ = 0;
  std::string pending_;
};

// An SMTP server that accepts every command and message and keeps the transaction the client
// wrote, from MAIL FROM to the final ".".
class AcceptingSmtpPeer : public MemoryPeerStack {
 public:
  AcceptingSmtpPeer() : MemoryPeerStack("220 preview ESMTP\r\n") {}

  const std::string& transaction() const { return transaction_; }

 protected:
  std::string Answer(const std::string& line) override {
    std::string_view text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (in_data_) {
      transaction_ += line;
      if (text != ".") return {};
      in_data_ = false;
      return "250 accepted\r\n";
    }
    const std::string verb = UpperVerb(text);
    if (verb == "MAIL" || verb == "RCPT") transaction_ += line;
    if (verb == "DATA") {
      transaction_ += line;
      in_data_ = true;
      return "354 go ahead\r\n";
    }
    if (verb == "QUIT") return {};
    return "250 preview\r\n";
  }

 private:
  static std::string UpperVerb(std::string_view text) {
    std::string verb(text.substr(0, text.find_first_of(" :")));
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
  }

  bool in_data_ = false;
  std::string transaction_;
};

std::unique_ptr<SocketLayer> LayerOver(SocketStack& stack) {
  return std::make_unique<SocketLayer>(
      [&stack] { return std::shared_ptr<SocketStack>(&stack, [](SocketStack*) {}); });
}

}  // namespace

std::string Pop3RetrievalForm(std::string_view message_text) {
  std::string form;
  form.reserve(message_text.size() + message_text.size() / 16 + 8);
  std::size_t start = 0;
  while (start < message_text.size()) {
    std::size_t end = message_text.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = message_text.size();
    std::string_view line = message_text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '.') form += '.';
    form += line;
    form += "\r\n";
    start = end + 1;
  }
  form += ".\r\n";
  return form;
}

ForwardingPreview PreviewForwarding(std::string_view message_text, const ForwardingRules& rules,
                                    const MessagePorts& ports) {
  ForwardingPreview preview;
  TMfMessage message(ports);
  message.Clear();
  {
    MemoryPeerStack retrieval(Pop3RetrievalForm(message_text));
    const auto layer = LayerOver(retrieval);
    TMfTCPClient connection(*layer);
    connection.SetHost("preview");
    connection.OpenConnection();
    try {
      message.ReceiveMessage(connection);
    } catch (const EMfException& error) {
      // The scan run skips a message it cannot read and leaves it on the server.
      preview.reason = error.what();
      return preview;
    }
  }
  try {
    if (!PrepareForForwarding(message, rules)) {
      preview.reason = kMarkerPreviewReason;
      return preview;
    }
    AcceptingSmtpPeer smtp;
    const auto layer = LayerOver(smtp);
    DeliverMessage(message, {"preview", 25}, *layer, {});
    preview.forwarded = true;
    preview.transaction = smtp.transaction();
  } catch (const EMfMessageRefused& error) {
    preview.reason = error.what();
  }
  return preview;
}

}  // namespace mailferry

#include "transport/pop3.h"

#include <cctype>
#include <exception>

#include "transport/decimal_text.h"
#include "transport/md5.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

constexpr int kOk = 1;
constexpr int kErr = 2;

bool EqualsIgnoringCase(const std::string& text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) !=
        std::toupper(static_cast<unsigned char>(word[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

TMfPOP3::TMfPOP3(SocketLayer& layer) : TMfMessageClient(layer) { SetPort(kDefaultPop3Port); }

void TMfPOP3::OpenConnection(int timeout) {
  TMfMessageClient::OpenConnection(timeout);
  retrieval_pending_ = false;
  try {
    AwaitReply(kOk);
    if (!apop_) {
      SendCommand("USER " + username_, kOk);
      SendCommand("PASS " + password_, kOk);
    } else {
      const std::string& greeting = LastCmdResult().Text().front();
      const std::size_t open = greeting.find('<');
      const std::size_t close = open == std::string::npos ? open : greeting.find('>', open);
      if (close == std::string::npos) {
        throw EMfException("Server do not support APOP (no timestamp)");
      }
      const std::string timestamp = greeting.substr(open, close - open + 1);
      SendCommand("APOP " + username_ + " " + Md5Hex(timestamp + password_), kOk);
    }
  } catch (...) {
    // The login's own failure is the one to report; a failing QUIT adds nothing to it.
    try {
      CloseConnection();
    } catch (const EMfException&) {
    }
    throw;
  }
}

int TMfPOP3::AwaitReply(const AllowedReplies& allowed) {
  ReadReply();
  TMfRFCReply& reply = MutableLastCmdResult();
  if (EqualsIgnoringCase(reply.TextCode(), "+OK")) {
    reply.SetNumericCode(kOk);
  } else if (EqualsIgnoringCase(reply.TextCode(), "-ERR")) {
    reply.SetNumericCode(kErr);
  } else {
    throw EMfException("Unrecognized POP3 Response Header:\n\"" + reply.JoinedText() + "\"");
  }
  return CheckReply(allowed);
}

void TMfPOP3::CloseConnection() {
  const std::exception_ptr quit_error = WriteQuitAndClose();
  retrieval_pending_ = false;
  if (quit_error) std::rethrow_exception(quit_error);
}

int TMfPOP3::CountMessages() {
  SendCommand("STAT", kOk);
  const std::string& line = LastCmdResult().Text().front();
  if (line.empty()) return 0;
  const std::size_t space = line.find(' ');
  return StrToInt(space == std::string::npos ? std::string_view()
                                             : std::string_view(line).substr(0, space));
}

bool TMfPOP3::RetrieveMessage(int number, MessageReader& message) {
  if (SendCommand("RETR " + std::to_string(number), kAnyReply) == kOk) {
    retrieval_pending_ = true;
    try {
      ReceiveMessage(message);
    } catch (...) {
      retrieval_pending_ = !LastLineWasDot();
      throw;
    }
    retrieval_pending_ = false;
  }
  return LastCmdResult().NumericCode() == kOk;
}

bool TMfPOP3::DeleteMessage(int number) {
  return SendCommand("DELE " + std::to_string(number), kOk) == kOk;
}

std::map<int, std::string> TMfPOP3::UniqueIds() {
  std::map<int, std::string> ids;
  if (SendCommand("UIDL", kAnyReply) != kOk) return ids;
  std::vector<std::string> lines;
  CaptureLines(&lines);
  for (const auto& line : lines) {
    const std::string_view entry = TrimControls(line);
    const std::size_t space = entry.find(' ');
    if (space == std::string_view::npos) continue;
    const auto number = DecimalToInt(entry.substr(0, space));
    const std::string_view id = TrimControls(entry.substr(space + 1));
    if (!number || *number < 1 || id.empty()) continue;
    ids.emplace(*number, std::string(id));
  }
  return ids;
}

void TMfPOP3::DrainMessage() {
  if (!retrieval_pending_) return;
  SkipLinesThrough(".");
  retrieval_pending_ = false;
}

}  // namespace mailferry

#include "transport/smtp.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

bool IsUnsafe(const std::string& address) {
  return address.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
}

// The address with its unsafe bytes shown as blanks, fit for a log line.
std::string Shown(std::string address) {
  std::replace_if(
      address.begin(), address.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; },
      ' ');
  return address;
}

std::string Base64(std::string_view data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const unsigned value = static_cast<unsigned char>(data[i]) << 16 |
                           static_cast<unsigned char>(data[i + 1]) << 8 |
                           static_cast<unsigned char>(data[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) text += kAlphabet[(value >> shift) & 63];
  }
  if (i < data.size()) {
    unsigned value = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) value |= static_cast<unsigned char>(data[i + 1]) << 8;
    text += kAlphabet[(value >> 18) & 63];
    text += kAlphabet[(value >> 12) & 63];
    text += i + 1 < data.size() ? kAlphabet[(value >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

}  // namespace

EMfUnsafeAddress::EMfUnsafeAddress(const std::string& address)
    : EMfException("Envelope address holds CR, LF or NUL: " + Shown(address)) {}

TMfSMTP::TMfSMTP(SocketLayer& layer) : TMfMessageClient(layer) { SetPort(kDefaultSmtpPort); }

void TMfSMTP::SetUseEhlo(bool use_ehlo) {
  use_ehlo_ = use_ehlo;
  if (!use_ehlo) authentication_type_ = atNone;
}

void TMfSMTP::SetAuthenticationType(TMfAuthenticationType type) {
  authentication_type_ = type;
  if (type == atLogin) use_ehlo_ = true;
}

void TMfSMTP::OpenConnection(int timeout) {
  TMfMessageClient::OpenConnection(timeout);
  try {
    AwaitReply(220);
    auth_schemes_.clear();
    std::string name = helo_name_;
    if (name.empty()) {
      if (const SocketErrorCode error = stack().LocalHostName(&name); error != 0) {
        throw EMfSocketError(error);
      }
    }
    if (use_ehlo_ && SendCommand("EHLO " + name, kAnyReply) == 250) {
      RecordAuthSchemes();
      return;
    }
    SendCommand("HELO " + name, 250);
  } catch (...) {
    // The greeting's or hello's own failure is the one to report.
    try {
      CloseConnection();
    } catch (const EMfException&) {
    }
    throw;
  }
}

void TMfSMTP::RecordAuthSchemes() {
  for (const std::string& text : LastCmdResult().Text()) {
    std::string line = text;
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (line.compare(0, 5, "AUTH ") != 0 && line.compare(0, 5, "AUTH=") != 0) continue;
    std::string rest = line.substr(5);
    std::replace(rest.begin(), rest.end(), '=', ' ');
    std::size_t pos = 0;
    while (pos < rest.size()) {
      std::size_t space = rest.find(' ', pos);
      if (space == std::string::npos) space = rest.size();
      // Runs of blanks give no scheme.
      if (space > pos) {
        const std::string scheme = rest.substr(pos, space - pos);
        if (std::find(auth_schemes_.begin(), auth_schemes_.end(), scheme) == auth_schemes_.end()) {
          auth_schemes_.push_back(scheme);
        }
      }
      pos = space + 1;
    }
  }
}

void TMfSMTP::AuthenticateWithLogin() {
  SendCommand("AUTH LOGIN", 334);
  SendCommand(Base64(username_), 334);
  SendCommand(Base64(password_), 235);
  authenticated_ = true;
}

void TMfSMTP::SendMail(MessageWriter& message) {
  const MailEnvelope envelope = message.Envelope();
  for (const auto* list : {&envelope.to, &envelope.cc, &envelope.bcc}) {
    for (const auto& address : *list) {
      if (IsUnsafe(address)) throw EMfUnsafeAddress(address);
    }
  }
  if (IsUnsafe(envelope.from)) throw EMfUnsafeAddress(envelope.from);

  SendCommand("RSET", kAnyReply);
  if (authentication_type_ == atLogin && !authenticated_ &&
      std::find(auth_schemes_.begin(), auth_schemes_.end(), "LOGIN") != auth_schemes_.end()) {
    AuthenticateWithLogin();
  }
  SendCommand("MAIL FROM:<" + envelope.from + ">", 250);
  for (const auto* list : {&envelope.to, &envelope.cc, &envelope.bcc}) {
    for (const auto& address : *list) SendCommand("RCPT TO:<" + address + ">", {250, 251});
  }
  SendCommand("DATA", 354);
  message.SetExtraHeader("X-Mailer", mail_agent_);
  WriteMessage(message);
  SendCommand(".", 250);
}

void TMfSMTP::CloseConnection() {
  const std::exception_ptr quit_error = WriteQuitAndClose();
  authenticated_ = false;
  if (quit_error) std::rethrow_exception(quit_error);
}

}  // namespace mailferry

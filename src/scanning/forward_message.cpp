#include "scanning/forward_message.h"

#include "message/message.h"
#include "scanning/scan_texts.h"
#include "transport/smtp.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

// A reply's text lines (each ended by CR LF) as one line after its code.
std::string ReplyText(const EMfProtocolReplyError& error) {
  std::string text = std::to_string(error.ReplyErrorCode());
  std::string_view lines = error.what();
  while (!lines.empty()) {
    const std::size_t end = lines.find("\r\n");
    const std::string_view line = lines.substr(0, end);
    if (!line.empty()) {
      text += ' ';
      text += line;
    }
    if (end == std::string_view::npos) break;
    lines.remove_prefix(end + 2);
  }
  return text;
}

}  // namespace

ForwardingRules ReadForwardingRules(TMemTable& accounts, TMemTable& send_addresses) {
  ForwardingRules rules;
  rules.forward_method = accounts.FieldByName("ForwardMethod").AsInteger();
  rules.remote = "@" + accounts.FieldByName("Pop3DomainName").AsString();
  rules.local = "@" + accounts.FieldByName("SMTPDomainName").AsString();
  const int account_id = accounts.FieldByName("AccountID").AsInteger();
  send_addresses.SetFiltered(false);
  send_addresses.SetFilter(FormatText("AccountID = %d", {std::to_string(account_id)}));
  send_addresses.SetFiltered(true);
  for (send_addresses.First(); !send_addresses.Eof(); send_addresses.Next()) {
    std::string address = send_addresses.FieldByName("EmailAddress").AsString();
    if (!address.empty()) rules.user_list.push_back(std::move(address));
  }
  send_addresses.SetFiltered(false);
  return rules;
}

bool HasMarkerHeader(const TMfMessage& message) {
  return message.Headers().IndexOfName(kMarkerHeaderName) != -1;
}

void AddMarkerHeader(TMfMessage& message) {
  if (!HasMarkerHeader(message)) message.Headers().Add(kMarkerLine);
}

void ReplaceDomain(TMfEMailAddressList& list, std::string_view remote, std::string_view local) {
  for (int i = list.Count() - 1; i >= 0; --i) {
    const std::string& address = list[i].Address();
    const std::size_t at = remote.empty() ? std::string::npos : address.find(remote);
    if (at == std::string::npos) {
      list.Delete(i);
      continue;
    }
    if (at == 0) continue;  // only the remote domain: no user part to keep
    std::string moved = address.substr(0, at);
    moved += local;
    list[i].SetText(moved);
  }
}

void RemoveDomainAddresses(TMfEMailAddressList& list, std::string_view remote) {
  for (int i = list.Count() - 1; i >= 0; --i) {
    if (list[i].Address().find(remote) != std::string::npos) list.Delete(i);
  }
}

void RewriteKeepUsername(TMfMessage& message, const ForwardingRules& rules) {
  ReplaceDomain(message.Recipients(), rules.remote, rules.local);
  ReplaceDomain(message.CCList(), rules.remote, rules.local);
  ReplaceDomain(message.BccList(), rules.remote, rules.local);
}

void RewriteToUserList(TMfMessage& message, const ForwardingRules& rules) {
  RemoveDomainAddresses(message.Recipients(), rules.remote);
  RemoveDomainAddresses(message.CCList(), rules.remote);
  RemoveDomainAddresses(message.BccList(), rules.remote);
  for (const std::string& user : rules.user_list) {
    std::string address = user;
    if (address.find('@') == std::string::npos) address += rules.local;
    message.BccList().Add().SetAddress(std::move(address));
  }
}

bool PrepareForForwarding(TMfMessage& message, const ForwardingRules& rules) {
  if (HasMarkerHeader(message)) return false;
  AddMarkerHeader(message);
  if (rules.forward_method == 0) {
    RewriteKeepUsername(message, rules);
  } else if (rules.forward_method == 1) {
    RewriteToUserList(message, rules);
  }
  if (message.Recipients().Count() == 0 && message.CCList().Count() == 0 &&
      message.BccList().Count() == 0) {
    throw EMfMessageRefused(kNoRecipientText);
  }
  return true;
}

SmtpTarget ReadSmtpTarget(TMemTable& system) {
  return {system.FieldByName("ExchangeServer").AsString(),
          system.FieldByName("SMTPPort").AsInteger()};
}

void DeliverMessage(TMfMessage& message, const SmtpTarget& target, SocketLayer& sockets,
                    const std::function<void()>& on_accepted,
                    std::chrono::milliseconds silent_server_bound) {
  TMfSMTP smtp(sockets);
  smtp.SetHost(target.host);
  smtp.SetPort(target.port);
  smtp.SetSilentServerBound(silent_server_bound);
  smtp.OpenConnection(-1);
  try {
    smtp.SendMail(message);
  } catch (const EMfUnsafeAddress& error) {
    throw EMfMessageRefused(error.what());
  } catch (const EMfProtocolReplyError& error) {
    // A 4xx reply is a passing state of the server and ends the account as any failure does;
    // a 5xx reply refuses this message for good.
    if (error.ReplyErrorCode() >= 500 && error.ReplyErrorCode() <= 599) {
      throw EMfMessageRefused(ReplyText(error));
    }
    throw;
  }
  if (on_accepted) on_accepted();
  smtp.CloseConnection();
}

}  // namespace mailferry

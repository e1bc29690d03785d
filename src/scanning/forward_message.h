// The forwarding rules: the loop marker, the rewriting of a message's recipients by its account's
// forwarding method, and the delivery of one message to the SMTP server over a connection of its
// own. The rewrite and the delivery are separate steps, so that a preview shows exactly what the
// scan run would send.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/mf_exception.h"
#include "message/email_address.h"
#include "settings/mem_table.h"
#include "transport/socket_layer.h"
#include "transport/transport_constants.h"

namespace mailferry {

class TMfMessage;

// A failure that belongs to the message in hand, not to the conversation: an envelope address
// that cannot be sent safely, no recipient left after rewriting, or a 5xx reply of the SMTP
// server to the message's transaction. The scan run logs it, leaves the message on its server
// and goes on with the next one.
class EMfMessageRefused : public EMfException {
 public:
  using EMfException::EMfException;
};

// What the forwarding of one account's messages needs from the settings.
struct ForwardingRules {
  int forward_method = 0;  // 0 keep the user name, 1 send to the user list, other: no rewrite
  std::string remote;      // "@" + Pop3DomainName
  std::string local;       // "@" + SMTPDomainName
  std::vector<std::string> user_list;  // the account's EmailAddress values, in row order
};

// The rules of the account in the current row of `accounts`. The user list is read from
// `send_addresses` as the forwarding has always read it: filter off, filter text "AccountID = %d",
// filter on, every row from the first, filter off again. Empty addresses are left out.
ForwardingRules ReadForwardingRules(TMemTable& accounts, TMemTable& send_addresses);

// Whether the message's received header has a line named "X-POP3-Connector" (any letter case).
bool HasMarkerHeader(const TMfMessage& message);
// Appends "X-POP3-Connector: Mailferry V1.0" to the received header unless it has the marker.
void AddMarkerHeader(TMfMessage& message);

// Forwarding method 0 on one list, from the last entry to the first: an address in which remote
// occurs (letter case counts, anywhere in it) keeps the part before that occurrence followed by
// local, set as the entry's whole text (so its display name is gone); an address that is only
// remote stays as it is; an address in which remote does not occur lies outside the remote
// domain and is removed (its owner already has the message from the sender).
void ReplaceDomain(TMfEMailAddressList& list, std::string_view remote, std::string_view local);
// Removes every entry whose address contains remote (letter case counts).
void RemoveDomainAddresses(TMfEMailAddressList& list, std::string_view remote);

// Method 0: ReplaceDomain on To, then Cc, then Bcc.
void RewriteKeepUsername(TMfMessage& message, const ForwardingRules& rules);
// Method 1: RemoveDomainAddresses on To, Cc and Bcc, then every user of the list as a blind-copy
// recipient (a bare user name gets local added), its address set as it is.
void RewriteToUserList(TMfMessage& message, const ForwardingRules& rules);

// The rewrite step. False when the message carries the loop marker: it is not to be forwarded
// and is left unchanged. Otherwise adds the marker, rewrites the recipients by the method, and
// returns true; raises EMfMessageRefused "No recipient left after rewriting" when To, Cc and Bcc
// are then all empty.
bool PrepareForForwarding(TMfMessage& message, const ForwardingRules& rules);

// Where forwarded messages go: the system row's ExchangeServer and SMTPPort.
struct SmtpTarget {
  std::string host;
  int port = 25;
};

// The SMTP target of the current row of the system table.
SmtpTarget ReadSmtpTarget(TMemTable& system);

// The delivery step: a new SMTP client for this one message - connect, greeting, hello, one
// transaction, QUIT - freed at the end whatever happens. on_accepted runs the moment the server
// has accepted the message (its reply to the final "."), before QUIT. A refusal that belongs to
// the message (an unsafe envelope address, a 5xx reply from MAIL FROM on) raises
// EMfMessageRefused with the reply code and text; every other failure propagates as it is. A
// server silent for silent_server_bound ends the delivery with "Read Timeout".
void DeliverMessage(TMfMessage& message, const SmtpTarget& target, SocketLayer& sockets,
                    const std::function<void()>& on_accepted,
                    std::chrono::milliseconds silent_server_bound = kSilentServerBound);

}  // namespace mailferry

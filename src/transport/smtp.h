// TMfSMTP: the SMTP client that delivers one message per connection: greeting, EHLO (HELO when
// EHLO is not answered 250), then RSET, MAIL FROM, RCPT TO, DATA, the message, ".", QUIT.
//
// Used by one thread. Failures in the greeting and hello close the client (QUIT, close) before
// they propagate; a failure of SendMail leaves the transaction unfinished and the caller
// destroys the client, which closes its socket without QUIT.
#pragma once

#include <string>
#include <vector>

#include "common/mf_exception.h"
#include "transport/message_client.h"

namespace mailferry {

enum TMfAuthenticationType { atNone, atLogin };

// An envelope address holding CR, LF or NUL: refused before anything is sent, since it would
// split or cut the command it goes into.
class EMfUnsafeAddress : public EMfException {
 public:
  explicit EMfUnsafeAddress(const std::string& address);
};

class TMfSMTP : public TMfMessageClient {
 public:
  // Port preset to 25.
  explicit TMfSMTP(SocketLayer& layer = SocketLayer::Process());

  // Name sent with EHLO or HELO; empty means the local host name.
  const std::string& HeloName() const { return helo_name_; }
  void SetHeloName(std::string name) { helo_name_ = std::move(name); }
  // Try EHLO before HELO. Clearing it also sets atNone.
  bool UseEhlo() const { return use_ehlo_; }
  void SetUseEhlo(bool use_ehlo);
  // Value given to the message's X-Mailer extra header before sending; empty removes it.
  const std::string& MailAgent() const { return mail_agent_; }
  void SetMailAgent(std::string agent) { mail_agent_ = std::move(agent); }
  // atLogin authenticates with AUTH LOGIN before MAIL FROM when the server announced LOGIN;
  // setting it also sets UseEhlo.
  TMfAuthenticationType AuthenticationType() const { return authentication_type_; }
  void SetAuthenticationType(TMfAuthenticationType type);
  const std::string& Username() const { return username_; }
  void SetUsername(std::string username) { username_ = std::move(username); }
  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }

  // The authentication schemes the server announced in its EHLO reply, upper-cased, without
  // duplicates; cleared at every connect.
  const std::vector<std::string>& AuthSchemes() const { return auth_schemes_; }
  bool Authenticated() const { return authenticated_; }

  // Connects, reads the greeting (220) and says hello. Any failure after the TCP connection was
  // made first closes the client (QUIT when the socket is still open) and then propagates.
  void OpenConnection(int timeout = -1) override;

  // One mail transaction: RSET, MAIL FROM:<sender>, RCPT TO:<...> for To, Cc and Bcc in order,
  // DATA, the message, ".". An envelope address holding CR, LF or NUL raises EMfUnsafeAddress
  // before anything is sent; a refused reply raises EMfProtocolReplyError.
  void SendMail(MessageWriter& message);

  // QUIT when connected (the reply is not read), then close in every case; an error of the QUIT
  // propagates after the close.
  void CloseConnection() override;

 private:
  void RecordAuthSchemes();
  void AuthenticateWithLogin();

  std::string helo_name_;
  bool use_ehlo_ = true;
  std::string mail_agent_;
  TMfAuthenticationType authentication_type_ = atNone;
  std::string username_;
  std::string password_;
  std::vector<std::string> auth_schemes_;
  bool authenticated_ = false;
};

}  // namespace mailferry

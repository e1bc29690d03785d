#include "message/message.h"

#include "message/message_reader.h"
#include "message/message_writer.h"

namespace mailferry {
namespace {

std::vector<std::string> AddressesOf(const TMfEMailAddressList& list) {
  std::vector<std::string> addresses;
  for (int i = 0; i < list.Count(); ++i) addresses.push_back(list[i].Address());
  return addresses;
}

}  // namespace

TMfMessage::TMfMessage(MessagePorts ports) : ports_(ports) { Clear(); }

void TMfMessage::Clear() {
  ClearHeader();
  ClearBody();
}

void TMfMessage::ClearHeader() {
  cc_list_.Clear();
  bcc_list_.Clear();
  reply_to_.Clear();
  recipients_.Clear();
  news_groups_.clear();
  headers_.Clear();
  extra_headers_.Clear();
  mime_boundary_.Clear();
  date_ = 0;
  from_.SetText("");
  receipt_recipient_.SetText("");
  sender_.SetText("");
  organization_.clear();
  references_.clear();
  subject_.clear();
  content_type_.clear();
  char_set_.clear();
  content_transfer_encoding_.clear();
  content_disposition_.clear();
  priority_ = mpNormal;
}

void TMfMessage::ReceiveMessage(TMfTCPConnection& connection) {
  mailferry::ReceiveMessage(connection, *this);
}

MailEnvelope TMfMessage::Envelope() const {
  return {from_.Address(), AddressesOf(recipients_), AddressesOf(cc_list_), AddressesOf(bcc_list_)};
}

void TMfMessage::SetExtraHeader(const std::string& name, const std::string& value) {
  extra_headers_.SetValue(name, value);
}

void TMfMessage::WriteMessage(TMfTCPConnection& connection) {
  mailferry::WriteMessage(connection, *this);
}

void TMfMessage::ClearBody() {
  message_parts_.Clear();
  body_.clear();
}

}  // namespace mailferry

#include "message/message.h"

namespace mailferry {

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

void TMfMessage::ClearBody() {
  message_parts_.Clear();
  body_.clear();
}

}  // namespace mailferry

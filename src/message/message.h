// TMfMessage: one mail message as the scan run carries it from a POP3 retrieval to an SMTP
// transfer: the header lines as read, the fields taken from them, the body lines and the parts.
//
// The message owns its lists, parts and the attachments' temp files; Clear frees the parts of
// the previous message. One thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "message/email_address.h"
#include "message/header_list.h"
#include "message/message_parts.h"
#include "message/mime_boundary.h"
#include "platform/clock.h"
#include "platform/locale_language.h"
#include "platform/temp_files.h"
#include "transport/message_client.h"

namespace mailferry {

enum TMfMessagePriority : std::uint8_t { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

enum TMfMessageEncoding { meMIME, meUU };

// The platform services reading and writing a message need: temp files for attachments, the
// clock for the Date written, and the locale that chooses the header charset. They must outlive
// the message.
struct MessagePorts {
  TempFiles* temp_files = &SystemTempFiles();
  const Clock* clock = &SystemClock();
  const LocaleLanguage* locale = &SystemLocaleLanguage();
};

// The POP3 client fills it through MessageReader (message_reader.h) and the SMTP client sends it
// through MessageWriter (message_writer.h).
class TMfMessage : public MessageReader, public MessageWriter {
 public:
  // An empty, cleared message with Encoding meMIME and AttachmentEncoding "MIME".
  explicit TMfMessage(MessagePorts ports = {});
  TMfMessage(const TMfMessage&) = delete;
  TMfMessage& operator=(const TMfMessage&) = delete;

  const MessagePorts& Ports() const { return ports_; }

  // MessageReader: ReceiveMessage of message_reader.h into this message.
  void ReceiveMessage(TMfTCPConnection& connection) override;
  // MessageWriter: the sender's address and the addresses of Recipients, CCList and BccList; the
  // value of a header in ExtraHeaders; WriteMessage of message_writer.h.
  MailEnvelope Envelope() const override;
  void SetExtraHeader(const std::string& name, const std::string& value) override;
  void WriteMessage(TMfTCPConnection& connection) override;

  // ClearHeader, then ClearBody.
  void Clear();
  // Empties the header lists and address lists, the newsgroups and the boundary stack; sets the
  // texts to empty, Date to 0 and Priority to mpNormal. MsgId is left alone.
  void ClearHeader();
  // Frees the parts (deleting their temp files) and empties Body.
  void ClearBody();

  // Every header line as read, continuation lines included.
  TMfHeaderList& Headers() { return headers_; }
  const TMfHeaderList& Headers() const { return headers_; }
  // Lines appended to the header when the message is written.
  TMfHeaderList& ExtraHeaders() { return extra_headers_; }
  const TMfHeaderList& ExtraHeaders() const { return extra_headers_; }

  TMfEMailAddressItem& From() { return from_; }
  const TMfEMailAddressItem& From() const { return from_; }
  TMfEMailAddressItem& Sender() { return sender_; }
  const TMfEMailAddressItem& Sender() const { return sender_; }
  TMfEMailAddressItem& ReceiptRecipient() { return receipt_recipient_; }
  const TMfEMailAddressItem& ReceiptRecipient() const { return receipt_recipient_; }

  // To, Cc, Bcc and Reply-To.
  TMfEMailAddressList& Recipients() { return recipients_; }
  const TMfEMailAddressList& Recipients() const { return recipients_; }
  TMfEMailAddressList& CCList() { return cc_list_; }
  const TMfEMailAddressList& CCList() const { return cc_list_; }
  TMfEMailAddressList& BccList() { return bcc_list_; }
  const TMfEMailAddressList& BccList() const { return bcc_list_; }
  TMfEMailAddressList& ReplyTo() { return reply_to_; }
  const TMfEMailAddressList& ReplyTo() const { return reply_to_; }

  const std::string& Subject() const { return subject_; }
  void SetSubject(std::string subject) { subject_ = std::move(subject); }
  const std::string& Organization() const { return organization_; }
  void SetOrganization(std::string organization) { organization_ = std::move(organization); }
  const std::string& References() const { return references_; }
  void SetReferences(std::string references) { references_ = std::move(references); }
  const std::string& MsgId() const { return msg_id_; }
  void SetMsgId(std::string msg_id) { msg_id_ = std::move(msg_id); }

  std::vector<std::string>& NewsGroups() { return news_groups_; }
  const std::vector<std::string>& NewsGroups() const { return news_groups_; }

  // Local date-time (days since 1899-12-30); 0 means none, and the writer then uses the time of
  // writing.
  double Date() const { return date_; }
  void SetDate(double date) { date_ = date; }
  bool UseNowForDate() const { return date_ == 0; }
  // Setting true forgets the date; setting false keeps it as it is.
  void SetUseNowForDate(bool use_now) {
    if (use_now) date_ = 0;
  }

  TMfMessagePriority Priority() const { return priority_; }
  void SetPriority(TMfMessagePriority priority) { priority_ = priority; }

  // The whole Content-Type value, its charset parameter (upper-cased), the transfer encoding and
  // the disposition of the message as a whole.
  const std::string& ContentType() const { return content_type_; }
  void SetContentType(std::string value) { content_type_ = std::move(value); }
  const std::string& CharSet() const { return char_set_; }
  void SetCharSet(std::string value) { char_set_ = std::move(value); }
  const std::string& ContentTransferEncoding() const { return content_transfer_encoding_; }
  void SetContentTransferEncoding(std::string value) {
    content_transfer_encoding_ = std::move(value);
  }
  const std::string& ContentDisposition() const { return content_disposition_; }
  void SetContentDisposition(std::string value) { content_disposition_ = std::move(value); }

  TMfMIMEBoundary& MIMEBoundary() { return mime_boundary_; }
  const TMfMIMEBoundary& MIMEBoundary() const { return mime_boundary_; }

  // Body lines outside parts: the whole text of a plain message, the preamble and epilogue of a
  // multipart one.
  std::vector<std::string>& Body() { return body_; }
  const std::vector<std::string>& Body() const { return body_; }
  TMfMessageParts& MessageParts() { return message_parts_; }
  const TMfMessageParts& MessageParts() const { return message_parts_; }

  // Not touched by Clear. Attachments are always written in MIME form; the encoder named by
  // AttachmentEncoding is the only one there is.
  TMfMessageEncoding Encoding() const { return encoding_; }
  void SetEncoding(TMfMessageEncoding encoding) { encoding_ = encoding; }
  const std::string& AttachmentEncoding() const { return attachment_encoding_; }
  void SetAttachmentEncoding(std::string encoding) { attachment_encoding_ = std::move(encoding); }

 private:
  MessagePorts ports_;

  TMfHeaderList headers_;
  TMfHeaderList extra_headers_;
  TMfEMailAddressItem from_;
  TMfEMailAddressItem sender_;
  TMfEMailAddressItem receipt_recipient_;
  TMfEMailAddressList recipients_;
  TMfEMailAddressList cc_list_;
  TMfEMailAddressList bcc_list_;
  TMfEMailAddressList reply_to_;
  std::string subject_;
  std::string organization_;
  std::string references_;
  std::string msg_id_;
  std::vector<std::string> news_groups_;
  double date_ = 0;
  TMfMessagePriority priority_ = mpNormal;
  std::string content_type_;
  std::string char_set_;
  std::string content_transfer_encoding_;
  std::string content_disposition_;
  TMfMIMEBoundary mime_boundary_;
  std::vector<std::string> body_;
  TMfMessageParts message_parts_;
  TMfMessageEncoding encoding_ = meMIME;
  std::string attachment_encoding_ = "MIME";
};

}  // namespace mailferry

#include "message/message_reader.h"

#include <algorithm>
#include <optional>

#include "common/ascii_text.h"
#include "message/body_reader.h"
#include "message/encoded_words.h"
#include "message/internet_date.h"
#include "message/message_constants.h"
#include "message/message_errors.h"
#include "transport/decimal_text.h"

namespace mailferry {
namespace {

// Items of a Newsgroups value: a comma ends an item unless exactly one double quote has been
// seen since the item began (a quoted name holding a comma).
std::vector<std::string> SplitNewsGroups(std::string_view value) {
  std::vector<std::string> groups;
  std::size_t start = 0;
  int quotes = 0;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    const bool at_end = i == value.size();
    if (!at_end && value[i] == '"') ++quotes;
    if (at_end || (value[i] == ',' && quotes != 1)) {
      const std::string_view item = Trim(value.substr(start, i - start));
      if (!item.empty()) groups.emplace_back(item);
      start = i + 1;
      quotes = 0;
    }
  }
  return groups;
}

// "urgent" anywhere gives mpHigh, "non-priority" mpLow; otherwise the number before the first
// blank, 1 (highest) to 5 (lowest), 3 when it is not a number. Numbers outside 1 to 5 are taken
// as the nearest end of the scale, so that the one-byte field and the X-Priority written from
// it always stay in range.
TMfMessagePriority ReadPriority(std::string_view value) {
  const std::string lower = [&] {
    std::string text(value);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return text;
  }();
  if (lower.find("urgent") != std::string::npos) return mpHigh;
  if (lower.find("non-priority") != std::string::npos) return mpLow;
  const std::string_view trimmed = Trim(value);
  const std::string_view number = Trim(trimmed.substr(0, trimmed.find(' ')));
  const int level = DecimalToInt(number).value_or(3);
  return static_cast<TMfMessagePriority>(std::clamp(level, 1, 5) - 1);
}

}  // namespace

std::string CharSetParameter(std::string_view content_type) {
  const std::string upper = UpperAscii(content_type);
  constexpr std::string_view kParameter = "CHARSET=";
  const std::size_t found = upper.find(kParameter);
  if (found == std::string::npos) return std::string();
  std::string_view rest = std::string_view(upper).substr(found + kParameter.size());
  if (!rest.empty() && rest.front() == '"') {
    rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find('"')));
  }
  return std::string(TrimBlanks(rest.substr(0, rest.find(';'))));
}

std::string ReceiveHeader(TMfTCPConnection& connection, TMfMessage& message) {
  std::size_t header_bytes = 0;
  std::string line;
  for (;;) {
    line = connection.ReadLine();
    if (line.empty() || line == kEndOfMessageLine) break;
    header_bytes += line.size() + 2;
    if (header_bytes > kMaxHeaderBlockBytes) {
      throw EMfException(std::string(kHeaderTooLargeText));
    }
    message.Headers().Add(line);
  }
  ProcessHeaders(message);
  return line;
}

void ProcessHeaders(TMfMessage& message) {
  const TMfHeaderList& headers = message.Headers();
  const HeaderCharset charset = ChooseHeaderCharset(*message.Ports().locale);
  const auto value = [&](std::string_view name) { return headers.GetValue(name); };

  message.SetContentType(value("Content-Type"));
  message.SetCharSet(CharSetParameter(message.ContentType()));
  message.SetContentTransferEncoding(value("Content-Transfer-Encoding"));
  message.SetContentDisposition(value("Content-Disposition"));
  message.SetSubject(DecodeHeader(value("Subject"), charset));
  message.From().SetText(DecodeHeader(value("From"), charset));
  message.SetMsgId(value("Message-Id"));
  message.NewsGroups() = SplitNewsGroups(value("Newsgroups"));
  message.Recipients().ParseAddresses(DecodeHeader(value("To"), charset));
  message.CCList().ParseAddresses(DecodeHeader(value("Cc"), charset));
  message.SetOrganization(value("Organization"));
  message.ReceiptRecipient().SetText(value("Disposition-Notification-To"));
  if (message.ReceiptRecipient().Text().empty()) {
    message.ReceiptRecipient().SetText(value("Return-Receipt-To"));
  }
  message.SetReferences(value("References"));
  message.ReplyTo().ParseAddresses(value("Reply-To"));
  const std::string date = value("Date");
  if (!date.empty()) message.SetDate(InternetDateToLocal(date, *message.Ports().clock));
  message.Sender().SetText(value("Sender"));
  std::string priority = value("Priority");
  if (priority.empty()) priority = value("X-Priority");
  message.SetPriority(ReadPriority(priority));
  message.MIMEBoundary().Push(BoundaryParameter(message.ContentType()));
}

void ReceiveMessage(TMfTCPConnection& connection, TMfMessage& message) {
  if (ReceiveHeader(connection, message).empty()) ReceiveBody(connection, message);
}

}  // namespace mailferry

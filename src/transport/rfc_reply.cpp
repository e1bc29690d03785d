#include "transport/rfc_reply.h"

#include "transport/decimal_text.h"

namespace mailferry {

std::string_view TrimControls(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

void TMfRFCReply::SetNumericCode(int code) {
  numeric_code_ = code;
  if (code > 0) text_code_ = std::to_string(code);
}

void TMfRFCReply::SetTextCode(const std::string& code) {
  text_code_ = code;
  if (!code.empty()) numeric_code_ = DecimalToInt(code).value_or(0);
}

std::string TMfRFCReply::JoinedText() const {
  std::string joined;
  for (const auto& line : text_) {
    joined += line;
    joined += "\r\n";
  }
  return joined;
}

void TMfRFCReply::Clear() {
  numeric_code_ = 0;
  text_code_.clear();
  text_.clear();
}

void TMfRFCReply::ParseReply(const std::vector<std::string>& lines) {
  Clear();
  if (lines.empty()) return;
  std::string_view code = TrimControls(std::string_view(lines.front()).substr(0, 4));
  if (code.size() == 4 && code[3] == '-') code = code.substr(0, 3);
  SetTextCode(std::string(code));
  for (const auto& line : lines) {
    text_.push_back(line.size() > 4 ? line.substr(4) : std::string());
  }
}

}  // namespace mailferry

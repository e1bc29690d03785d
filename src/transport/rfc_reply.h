// TMfRFCReply: one parsed server reply, its code as number and text and its text lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mailferry {

class TMfRFCReply {
 public:
  int NumericCode() const { return numeric_code_; }
  // A value above 0 also sets TextCode to its decimal text.
  void SetNumericCode(int code);

  const std::string& TextCode() const { return text_code_; }
  // Non-empty text also sets NumericCode to its decimal value, or 0 when it is not a number.
  void SetTextCode(const std::string& code);

  const std::vector<std::string>& Text() const { return text_; }
  std::vector<std::string>& Text() { return text_; }

  // The text lines, each followed by CR LF: the message of a refused reply.
  std::string JoinedText() const;

  // NumericCode 0, TextCode and Text empty.
  void Clear();

  // Fills the reply from its raw lines. The code is the first line's first four characters,
  // trimmed, and without a fourth character "-"; each line from its fifth character on is a
  // text line.
  void ParseReply(const std::vector<std::string>& lines);

 private:
  int numeric_code_ = 0;
  std::string text_code_;
  std::vector<std::string> text_;
};

// Text without leading and trailing characters with codes 0 to 32.
std::string_view TrimControls(std::string_view text);

}  // namespace mailferry

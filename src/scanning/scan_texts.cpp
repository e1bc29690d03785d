#include "scanning/scan_texts.h"

#include "common/ascii_text.h"

namespace mailferry {

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string text;
  text.reserve(format.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const bool placeholder =
        format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 'd' || format[i + 1] == 's');
    if (placeholder && next != args.end()) {
      text += *next++;
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool in_break = false;
  for (char c : text) {
    const bool is_break = c == '\r' || c == '\n';
    if (!is_break) {
      line += c;
    } else if (!in_break) {
      line += ' ';
    }
    in_break = is_break;
  }
  return std::string(TrimBlanks(line));
}

}  // namespace mailferry

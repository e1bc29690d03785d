#include "common/ascii_text.h"

namespace mailferry {
namespace {

bool IsControlOrBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string_view TrimLeft(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsControlOrBlank(text[start])) ++start;
  return text.substr(start);
}

std::string_view TrimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && IsControlOrBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::string_view TrimBlanks(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlankOrTab(text[start])) ++start;
  std::size_t end = text.size();
  while (end > start && IsBlankOrTab(text[end - 1])) --end;
  return text.substr(start, end - start);
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperAscii(c);
  return result;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace mailferry

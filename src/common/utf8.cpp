#include "common/utf8.h"

namespace mailferry {
namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A sequence starts at every byte that is not a continuation byte; a continuation byte that
    // follows no lead byte is a character of its own.
    if (!IsContinuation(static_cast<unsigned char>(text[i])) || i == 0) ++count;
  }
  return count;
}

std::string Utf8Prefix(std::string_view text, std::size_t max_chars) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 0 || !IsContinuation(static_cast<unsigned char>(text[i]))) {
      if (count == max_chars) return std::string(text.substr(0, i));
      ++count;
    }
  }
  return std::string(text);
}

bool IsAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace mailferry

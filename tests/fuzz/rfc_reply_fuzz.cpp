// Feeds arbitrary bytes, cut into lines at LF, to the reply parser and the POP3/SMTP helpers that
// read server text: nothing may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/decimal_text.h"
#include "transport/md5.h"
#include "transport/rfc_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
    lines.push_back(text.substr(start, lf - start));
    start = lf + 1;
  }
  lines.push_back(text.substr(start));

  mailferry::TMfRFCReply reply;
  reply.ParseReply(lines);
  if (reply.Text().size() != lines.size()) __builtin_trap();
  (void)reply.JoinedText();
  (void)mailferry::DecimalToInt(lines.front());
  (void)mailferry::TrimControls(text);
  (void)mailferry::Md5Hex(text);
  return 0;
}

// Fuzzes the quoted-printable decoder with arbitrary lines, and checks that encoded text lines
// decode back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "message/coders.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mailferry;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Check(QPDecode(text).size() <= text.size());

  // The input as one text line: line-end bytes taken out, CR LF added, as the writer passes it.
  std::string line;
  for (char c : text) {
    if (c != '\r' && c != '\n') line.push_back(c);
  }
  line += "\r\n";
  const std::string encoded = QPEncode(line);
  std::string decoded;
  std::size_t start = 0;
  while (start < encoded.size()) {
    const std::size_t end = encoded.find("\r\n", start);
    Check(end != std::string::npos && end - start <= 75);
    decoded += QPDecode(std::string_view(encoded).substr(start, end + 2 - start));
    start = end + 2;
  }
  Check(decoded == line);
  return 0;
}

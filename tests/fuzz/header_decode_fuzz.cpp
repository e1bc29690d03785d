// Fuzzes encoded-word decoding and encoding and the JIS conversions with arbitrary header bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/mf_exception.h"
#include "message/encoded_words.h"
#include "message/jis.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mailferry;
  if (size == 0) return 0;
  static const HeaderCharset kCharsets[] = {
      {"ISO-8859-1", 'Q', false}, {"UTF-8", 'Q', false}, {"ISO-2022-JP", 'B', true}};
  const HeaderCharset& charset = kCharsets[data[0] % 3];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  try {
    // Every word is shorter than its decoded text, and JIS to Shift_JIS never grows.
    Check(DecodeHeader(text, charset).size() <= text.size());
  } catch (const EMfException&) {
    // A bad Q escape is a reported error, not a crash.
  }

  const std::string encoded =
      EncodeHeader(text, kAddressSpecials, charset.letter, charset.jis_conversion, charset.name);
  Check(encoded.size() <= 16 * text.size() + 64);
  Check(JisToShiftJis(text).size() <= text.size());
  Check(ShiftJisToJis(text).size() <= 8 * text.size());
  return 0;
}

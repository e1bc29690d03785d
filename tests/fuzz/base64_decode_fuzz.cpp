// Fuzzes the base64 and uu/xx line decoders with arbitrary lines, and checks that encoded
// blocks decode back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/mf_exception.h"
#include "message/coders.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mailferry;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    Check(Base64Decode(text).size() <= text.size() / 4 * 3);
  } catch (const EMfException&) {
    // An uneven line is a reported error.
  }
  Check(Base64Decode(Base64Encode(text)) == text);
  Check(UUDecode(text).size() < 64);
  Check(XXDecode(text).size() < 64);
  return 0;
}

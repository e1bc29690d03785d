// Fuzzes the HTTP client's response reading: status lines, header blocks, 100 responses, the
// three body framings and the keep-alive decision, over an in-memory connection. The input's
// first bytes choose how the bytes arrive (piece size, silence or close at the end) and where
// the first response ends and the second begins; two requests run, so reuse is exercised too.
// Only the client's own exceptions may come out, and no body may exceed the limit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "../support/memory_socket_stack.h"
#include "common/mf_exception.h"
#include "transport/http.h"

namespace {

using mailferry::EMfException;
using mailferry::TMfHTTP;
using mailferry::testing::MemorySocketStack;

constexpr std::int64_t kBodyLimit = 64 * 1024;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void Fetch(TMfHTTP& client, std::size_t input_size) {
  try {
    const std::string body = client.FetchUrl("http://fuzz.example/Mailferry/TestConnection.html");
    Check(static_cast<std::int64_t>(body.size()) <= kBodyLimit);
    Check(body.size() <= input_size);
  } catch (const EMfException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t piece = data[0] & 0x7F ? data[0] & 0x7F : SIZE_MAX;
  const bool silent_at_end = (data[0] & 0x80) != 0;
  const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t split = rest.size() * data[1] / 255;
  const std::string first = rest.substr(0, split);
  const std::string second = rest.substr(split);

  MemorySocketStack stack;
  // The second response is served on the kept connection or, after a close, on a new one.
  stack.AddPeer({{first, second}, piece, silent_at_end});
  stack.AddPeer({{second}, piece, silent_at_end});
  auto layer = stack.MakeLayer();
  {
    TMfHTTP client(*layer);
    client.SetMaxBodySize(kBodyLimit);
    Fetch(client, size);
    Fetch(client, size);
  }
  Check(layer->UserCount() == 0);
  return 0;
}

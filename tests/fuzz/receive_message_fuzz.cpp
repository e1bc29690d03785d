// Fuzzes message reading over the real line connection: the input is what a POP3 server sends
// after "+OK" (its first byte sets how many bytes each receive delivers, so lines cross receive
// boundaries anywhere). Every message that reads is written again. Checked: no crash, every
// failure is one of the program's errors, written data holds no bare CR or LF and no early end
// line, and no temp file outlives the message.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "../support/fake_clock.h"
#include "../support/fake_locale_language.h"
#include "../support/memory_connection.h"
#include "common/mf_exception.h"
#include "message/message.h"
#include "message/message_reader.h"
#include "message/message_writer.h"
#include "platform/linux_temp_files.h"

namespace {

using namespace mailferry;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const std::string& TempFolder() {
  static const std::string folder = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "mailferry-fuzz-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr);
    return pattern;
  }();
  return folder;
}

bool FolderIsEmpty(const std::string& folder) {
  return std::filesystem::directory_iterator(folder) == std::filesystem::directory_iterator();
}

// Data an SMTP server would take as it is: CR and LF only as pairs, no line "." before the end.
void CheckTransferData(std::string_view data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\r') Check(i + 1 < data.size() && data[i + 1] == '\n');
    if (data[i] == '\n') Check(i > 0 && data[i - 1] == '\r');
  }
  Check(data.substr(0, 3) != ".\r\n");
  Check(data.find("\r\n.\r\n") == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static LinuxTempFiles temp_files(TempFolder());
  static const testing::FakeClock clock(38384.5, 60);
  static const testing::FakeLocaleLanguage locale("en", "US", true);

  const std::size_t receive_size = 1 + data[0] % 64;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  {
    TMfMessage message({&temp_files, &clock, &locale});
    bool read = false;
    {
      testing::MemoryConnection in(std::string(input), receive_size);
      try {
        ReceiveMessage(in.connection(), message);
        read = true;
      } catch (const EMfException&) {
        // Any of the program's own errors is a correct answer to bad input.
      }
    }
    if (read) {
      testing::MemoryConnection out;
      WriteMessage(out.connection(), message);
      CheckTransferData(out.Sent());
    }
  }
  Check(FolderIsEmpty(TempFolder()));
  return 0;
}

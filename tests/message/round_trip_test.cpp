// A message read from a mailbox and written again shows a recipient the same thing. What was
// written is parsed by an independent MIME parser (Python's email package) and compared with
// the fixture: subject, sender and recipients, the text of every text part, the name and bytes
// of every attachment.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "message/message_reader.h"
#include "message/message_writer.h"
#include "support/memory_connection.h"
#include "support/message_ports.h"

namespace mailferry {
namespace {

using testing::MemoryConnection;

const std::string kFixtures = std::string(MAILFERRY_SOURCE_DIR) + "/tests/message/fixtures/";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// Runs a command and returns its exit status and everything it printed.
int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
    *output += buffer.data();
  }
  return pclose(pipe);
}

// Transfer data that an SMTP server would take as it is: every CR followed by LF, every LF after
// a CR, and no line "." alone before the end.
::testing::AssertionResult IsCleanTransferData(const std::string& data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\r' && (i + 1 == data.size() || data[i + 1] != '\n')) {
      return ::testing::AssertionFailure() << "bare CR at " << i;
    }
    if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r')) {
      return ::testing::AssertionFailure() << "bare LF at " << i;
    }
  }
  if (data.rfind(".\r\n", 0) == 0 || data.find("\r\n.\r\n") != std::string::npos) {
    return ::testing::AssertionFailure() << "a line \".\" ends the data early";
  }
  return ::testing::AssertionSuccess();
}

class RoundTripTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTripTest, RecipientSeesTheSameMessage) {
  const std::string original_path = kFixtures + GetParam();
  const std::string original = ReadFile(original_path);
  ASSERT_FALSE(original.empty()) << original_path;

  testing::TestMessagePorts ports;
  auto message = std::make_unique<TMfMessage>(ports.ports());
  MemoryConnection in(testing::Pop3Retrieval(original));
  ReceiveMessage(in.connection(), *message);
  EXPECT_EQ(in.connection().InputBufferSize(), 0u);

  MemoryConnection out;
  WriteMessage(out.connection(), *message);
  const std::string data = out.Sent();
  EXPECT_TRUE(IsCleanTransferData(data));

  const std::string written_path = (ports.dir() / "written.eml").string();
  std::ofstream(written_path, std::ios::binary) << testing::SmtpUnstuff(data);
  std::string output;
  const int status = RunCommand(
      "python3 " + kFixtures + "compare_messages.py " + original_path + " " + written_path,
      &output);
  EXPECT_EQ(status, 0) << output << "\n--- written ---\n" << testing::SmtpUnstuff(data);

  // Only the written copy is left once the message is gone.
  message.reset();
  EXPECT_EQ(ports.FileCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RoundTripTest,
                         ::testing::Values("plain_dots.eml", "alternative_qp.eml",
                                           "mixed_binary.eml", "nested.eml", "uuencoded.eml",
                                           "single_base64.eml", "single_qp.eml",
                                           "uuencoded_utf8_name.eml"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace mailferry

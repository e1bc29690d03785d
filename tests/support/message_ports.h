// Ports for message tests: temp files (real files, countable, able to fail) in a fresh folder,
// a fixed clock one hour east of UTC and an English UTF-8 locale; and a test fixture that reads
// message texts through the real line connection.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/mf_exception.h"
#include "message/message.h"
#include "message/message_reader.h"
#include "support/fake_clock.h"
#include "support/fake_locale_language.h"
#include "support/fake_temp_files.h"
#include "support/memory_connection.h"
#include "support/temp_dir.h"

namespace mailferry::testing {

class TestMessagePorts {
 public:
  // 1 February 2005 12:00:00 local time.
  static constexpr double kNow = 38384.5;

  TestMessagePorts() : temp_files_(dir_.path().string()) {}

  MessagePorts ports() { return {&temp_files_, &clock_, &locale_}; }
  FakeTempFiles& temp_files() { return temp_files_; }
  FakeClock& clock() { return clock_; }
  const std::filesystem::path& dir() const { return dir_.path(); }

  // Files left in the temp folder.
  int FileCount() const {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      ++count;
    }
    return count;
  }

 private:
  TempDir dir_;
  FakeTempFiles temp_files_;
  FakeClock clock_{kNow, 60};
  FakeLocaleLanguage locale_{"en", "US", true};
};

class MessageReadingTest : public ::testing::Test {
 protected:
  // Reads text (a message with LF or CR LF line ends) as a POP3 server sends it; after follows
  // the retrieval on the connection.
  void Read(std::string_view text, const std::string& after = "") {
    connection_ = std::make_unique<MemoryConnection>(Pop3Retrieval(text) + after);
    ReceiveMessage(connection_->connection(), message_);
  }

  // The error text Read raises.
  std::string ReadError(std::string_view text) {
    try {
      Read(text);
    } catch (const EMfException& error) {
      return error.what();
    }
    return "(no error)";
  }

  std::string NextLine() { return connection_->connection().ReadLine(); }

  TestMessagePorts ports_;
  TMfMessage message_{ports_.ports()};
  std::unique_ptr<MemoryConnection> connection_;
};

}  // namespace mailferry::testing

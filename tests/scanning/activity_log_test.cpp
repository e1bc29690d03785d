#include "scanning/activity_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/date_time.h"
#include "common/mf_exception.h"
#include "support/error_text.h"
#include "support/failing_file_replacer.h"
#include "support/fake_clock.h"
#include "support/fake_locale_formats.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

// 2024-03-05 14:07:09
double Afternoon() { return *EncodeDate(2024, 3, 5) + *EncodeTime(14, 7, 9); }

class ActivityLogTest : public ::testing::Test {
 protected:
  std::string LogPath() const { return dir_.prefix() + "MFY.log"; }
  std::string LogBytes() const { return ReadFileBytes(LogPath()); }

  testing::TempDir dir_;
  testing::FakeClock clock_{Afternoon()};
  testing::FakeLocaleFormats formats_;
  testing::FailingFileReplacer files_;
  ActivityLog log_{clock_, files_, &formats_};
};

TEST_F(ActivityLogTest, AFirstLineCreatesThePrivateFile) {
  log_.Append(dir_.prefix(), "Scan Done. Results: New Messages: 0 Accounts checked: 0");
  EXPECT_EQ(LogBytes(),
            "2024-03-05 14:07:09\tScan Done. Results: New Messages: 0 Accounts checked: 0\r\n");
  struct stat info {};
  ASSERT_EQ(stat(LogPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ActivityLogTest, LinesAreAppendedInOrder) {
  log_.Append(dir_.prefix(), "one");
  clock_.set_now(Afternoon() + *EncodeTime(0, 0, 1));
  log_.Append(dir_.prefix(), "two");
  EXPECT_EQ(LogBytes(), "2024-03-05 14:07:09\tone\r\n2024-03-05 14:07:10\ttwo\r\n");
}

TEST_F(ActivityLogTest, ALineWrittenAtMidnightShowsTheDateAlone) {
  clock_.set_now(*EncodeDate(2024, 3, 6) + *EncodeTime(0, 0, 0, 999));
  log_.Append(dir_.prefix(), "Waiting for 5 minutes before next request.");
  EXPECT_EQ(LogBytes(), "2024-03-06\tWaiting for 5 minutes before next request.\r\n");
}

// Whatever line ends the file has, it is written back with CR LF, and a last line without one is
// completed before the new line.
TEST_F(ActivityLogTest, ExistingLinesAreRewrittenWithCrLf) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;
  };
  const std::string added = "2024-03-05 14:07:09\tnew\r\n";
  const std::vector<Case> cases = {
      {"crlf", "a\r\nb\r\n", "a\r\nb\r\n"},
      {"lone lf", "a\nb\n", "a\r\nb\r\n"},
      {"lone cr", "a\rb\r", "a\r\nb\r\n"},
      {"mixed", "a\r\nb\nc\rd", "a\r\nb\r\nc\r\nd\r\n"},
      {"no final break", "a\r\nlast", "a\r\nlast\r\n"},
      {"empty lines kept", "a\n\nb\n", "a\r\n\r\nb\r\n"},
      {"empty file", "", ""},
      {"8-bit bytes kept", "B\xfcro\n", "B\xfcro\r\n"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(LogPath(), c.before);
    log_.Append(dir_.prefix(), "new");
    EXPECT_EQ(LogBytes(), c.after + added) << c.name;
  }
}

TEST_F(ActivityLogTest, LineBreaksInsideTheTextBecomeBlanks) {
  log_.Append(dir_.prefix(), "Message 1 of A not forwarded: 550 no\r\nsuch user\r\n");
  EXPECT_EQ(LogBytes(), "2024-03-05 14:07:09\tMessage 1 of A not forwarded: 550 no such user\r\n");
}

TEST_F(ActivityLogTest, AFailedWriteKeepsTheOldLinesAndRaises) {
  log_.Append(dir_.prefix(), "kept");
  const std::string before = LogBytes();
  files_.FailCommitAfter(0);
  EXPECT_EQ(testing::MessageOf([&] { log_.Append(dir_.prefix(), "lost"); }),
            "Cannot create file " + LogPath());
  EXPECT_EQ(LogBytes(), before);
  files_.FailBeginAfter(0);
  EXPECT_THROW(log_.Append(dir_.prefix(), "lost"), EMfException);
  EXPECT_EQ(LogBytes(), before);
}

TEST_F(ActivityLogTest, ALogThatCannotBeReadRaisesAndIsLeftAlone) {
  std::filesystem::create_directory(LogPath());
  EXPECT_EQ(testing::MessageOf([&] { log_.Append(dir_.prefix(), "x"); }),
            "Cannot open file " + LogPath());
  EXPECT_TRUE(std::filesystem::is_directory(LogPath()));
}

TEST_F(ActivityLogTest, AMissingFolderRaisesTheCreateError) {
  const std::string missing = dir_.prefix() + "gone/";
  EXPECT_THROW(log_.Append(missing, "x"), EMfException);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

// Two writers (the main window and a run), each with its own log object, append at the same time:
// every line of both arrives whole, each writer's lines in their order.
TEST_F(ActivityLogTest, AppendsFromTwoThreadsNeverLoseALine) {
  constexpr int kLinesEach = 50;
  ActivityLog other(clock_, files_, &formats_);
  auto writer = [&](const ActivityLog& log, const std::string& who) {
    for (int i = 0; i < kLinesEach; ++i) log.Append(dir_.prefix(), who + std::to_string(i));
  };
  std::thread main_window(writer, std::cref(log_), "main ");
  std::thread run(writer, std::cref(other), "run ");
  main_window.join();
  run.join();
  const std::string bytes = LogBytes();
  int next_main = 0;
  int next_run = 0;
  std::size_t start = 0;
  const std::string stamp = "2024-03-05 14:07:09\t";
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = bytes.substr(start, end - start);
    ASSERT_EQ(line.rfind(stamp, 0), 0u) << line;
    const std::string text = line.substr(stamp.size());
    if (text.rfind("main ", 0) == 0) {
      EXPECT_EQ(text, "main " + std::to_string(next_main++));
    } else {
      EXPECT_EQ(text, "run " + std::to_string(next_run++));
    }
    start = end + 2;
  }
  EXPECT_EQ(next_main, kLinesEach);
  EXPECT_EQ(next_run, kLinesEach);
}

}  // namespace
}  // namespace mailferry

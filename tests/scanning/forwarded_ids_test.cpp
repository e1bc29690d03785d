#include "scanning/forwarded_ids.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/mf_exception.h"
#include "support/error_text.h"
#include "support/failing_file_replacer.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

class ForwardedIdsTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.prefix() + "MFY_Forwarded.txt"; }

  testing::TempDir dir_;
  testing::FailingFileReplacer files_;
};

TEST_F(ForwardedIdsTest, AMissingFileIsAnEmptyRecord) {
  ForwardedIds ids(Path(), files_);
  ids.Load();
  EXPECT_FALSE(ids.Contains(2, "a"));
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(ForwardedIdsTest, RecordedIdsAreWrittenAtOnceAndReadBackPerAccount) {
  ForwardedIds ids(Path(), files_);
  ids.Load();
  ids.Record(3, "UID-b");
  ids.Record(2, "<m1@example.com>");
  ids.Record(3, "UID-a");
  ids.Record(3, "UID-a");  // already there: nothing changes
  // Each new id is one line appended, in the order the messages were accepted.
  EXPECT_EQ(ReadFileBytes(Path()), "3\tUID-b\n2\t<m1@example.com>\n3\tUID-a\n");
  struct stat info {};
  ASSERT_EQ(stat(Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ForwardedIds again(Path(), files_);
  again.Load();
  EXPECT_TRUE(again.Contains(3, "UID-a"));
  EXPECT_TRUE(again.Contains(2, "<m1@example.com>"));
  // Ids belong to their account: the same id from another mailbox is another message.
  EXPECT_FALSE(again.Contains(2, "UID-a"));
}

TEST_F(ForwardedIdsTest, IdsNoLongerOnTheServerAreDropped) {
  WriteFileBytes(Path(), "2\told\n2\tkept\n3\tother\n");
  ForwardedIds ids(Path(), files_);
  ids.Load();
  ids.KeepOnly(2, {"kept", "new"});
  EXPECT_EQ(ReadFileBytes(Path()), "2\tkept\n3\tother\n");
  ids.KeepOnly(3, {});
  EXPECT_EQ(ReadFileBytes(Path()), "2\tkept\n");
  // Nothing dropped: the file is not rewritten.
  files_.FailBeginAfter(0);
  EXPECT_NO_THROW(ids.KeepOnly(2, {"kept"}));
  EXPECT_NO_THROW(ids.KeepOnly(9, {}));
}

TEST_F(ForwardedIdsTest, LinesOfAnotherFormAreIgnoredAndCrLfIsRead) {
  WriteFileBytes(Path(),
                 "2\tgood\r\nno tab\n\tno account\nx\tbad account\n4\t\n-1\tnegative\n"
                 "99999999999\ttoo big\n5\tid with\ttab\n");
  ForwardedIds ids(Path(), files_);
  ids.Load();
  EXPECT_EQ(ids.IdsOf(2), (std::set<std::string>{"good"}));
  EXPECT_EQ(ids.IdsOf(-1), (std::set<std::string>{"negative"}));
  EXPECT_EQ(ids.IdsOf(5), (std::set<std::string>{"id with\ttab"}));
  EXPECT_TRUE(ids.IdsOf(4).empty());
  ids.Record(2, "more");
  EXPECT_EQ(ReadFileBytes(Path()), "-1\tnegative\n2\tgood\n2\tmore\n5\tid with\ttab\n");
}

TEST_F(ForwardedIdsTest, AFailedWriteRaisesKeepsTheFileAndRemembersTheId) {
  ForwardedIds ids(Path(), files_);
  ids.Load();
  ids.Record(2, "first");
  files_.FailAppendAfter(0);
  files_.FailCommitAfter(0);
  EXPECT_EQ(testing::MessageOf([&] { ids.Record(2, "second"); }), "Cannot create file " + Path());
  EXPECT_EQ(ReadFileBytes(Path()), "2\tfirst\n");
  EXPECT_TRUE(ids.Contains(2, "second"));
  files_.Heal();
  ids.Record(2, "third");
  EXPECT_EQ(ReadFileBytes(Path()), "2\tfirst\n2\tsecond\n2\tthird\n");
}

TEST_F(ForwardedIdsTest, AFailedAppendFallsBackToReplacingTheFile) {
  ForwardedIds ids(Path(), files_);
  ids.Load();
  ids.Record(3, "b");
  files_.FailAppendAfter(0);
  ids.Record(2, "a");
  EXPECT_EQ(ReadFileBytes(Path()), "2\ta\n3\tb\n");
}

TEST_F(ForwardedIdsTest, ALastLineCutShortIsIgnoredAndRepairedByTheNextRecord) {
  // "4\tUID-12" was being appended as "4\tUID-123" when the machine stopped: taking the
  // fragment for an id would wrongly skip a message whose id happens to be that fragment.
  WriteFileBytes(Path(), "4\tUID-1\n4\tUID-12");
  ForwardedIds ids(Path(), files_);
  ids.Load();
  EXPECT_TRUE(ids.Contains(4, "UID-1"));
  EXPECT_FALSE(ids.Contains(4, "UID-12"));
  ids.Record(4, "UID-7");
  EXPECT_EQ(ReadFileBytes(Path()), "4\tUID-1\n4\tUID-7\n");
  ids.Record(4, "UID-8");
  EXPECT_EQ(ReadFileBytes(Path()), "4\tUID-1\n4\tUID-7\n4\tUID-8\n");
}

TEST_F(ForwardedIdsTest, AnUnreadableFileRaises) {
  std::filesystem::create_directory(Path());
  ForwardedIds ids(Path(), files_);
  EXPECT_EQ(testing::MessageOf([&] { ids.Load(); }), "Cannot open file " + Path());
}

TEST(FallbackMessageIdTest, UsesAPlainMessageIdElseADigestOfTheHeader) {
  TMfHeaderList with_id;
  with_id.Add("Received: from a");
  with_id.Add("message-ID:   <abc@example.com>  ");
  EXPECT_EQ(FallbackMessageId(with_id), "<abc@example.com>");

  TMfHeaderList without_id;
  without_id.Add("Received: from a");
  without_id.Add("Subject: hi");
  const std::string digest = FallbackMessageId(without_id);
  EXPECT_EQ(digest.rfind("md5:", 0), 0u);
  EXPECT_EQ(digest.size(), 4u + 32u);
  EXPECT_EQ(FallbackMessageId(without_id), digest);  // stable for the same header
  TMfHeaderList other = without_id;
  other.Add("Date: Tue, 5 Mar 2024 10:00:00 +0000");
  EXPECT_NE(FallbackMessageId(other), digest);

  // A Message-Id with blanks cannot be a token of the record; the digest stands in.
  TMfHeaderList spaced;
  spaced.Add("Message-Id: <a b@c>");
  EXPECT_EQ(FallbackMessageId(spaced).rfind("md5:", 0), 0u);
}

}  // namespace
}  // namespace mailferry

#include "platform/linux_file_replacer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

std::size_t EntriesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(LinuxFileReplacerTest, ReplacesContentWithAPrivateFile) {
  testing::TempDir dir;
  const std::string path = dir.prefix() + "MFY_Settings.db";
  WriteFileBytes(path, "old content that is longer");
  chmod(path.c_str(), 0644);
  LinuxFileReplacer files;
  auto replacement = files.Begin(path);
  ASSERT_NE(replacement, nullptr);
  EXPECT_TRUE(replacement->Write("new "));
  EXPECT_TRUE(replacement->Write("content"));
  EXPECT_EQ(ReadFileBytes(path), "old content that is longer");  // nothing visible before commit
  EXPECT_TRUE(replacement->Commit());
  EXPECT_EQ(ReadFileBytes(path), "new content");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(LinuxFileReplacerTest, CreatesAMissingFile) {
  testing::TempDir dir;
  const std::string path = dir.prefix() + "new.db";
  EXPECT_TRUE(ReplaceFileContent(SystemFileReplacer(), path, "abc"));
  EXPECT_EQ(ReadFileBytes(path), "abc");
}

TEST(LinuxFileReplacerTest, AppendsToAPrivateFileCreatedWhenMissing) {
  testing::TempDir dir;
  const std::string path = dir.prefix() + "MFY_Forwarded.txt";
  LinuxFileReplacer files;
  EXPECT_TRUE(files.Append(path, "2\ta\n"));
  EXPECT_TRUE(files.Append(path, "2\tb\n"));
  EXPECT_EQ(ReadFileBytes(path), "2\ta\n2\tb\n");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(files.Append(dir.prefix() + "missing/folder.txt", "x"));
}

TEST(LinuxFileReplacerTest, AnUncommittedReplacementLeavesNoTrace) {
  testing::TempDir dir;
  const std::string path = dir.prefix() + "MFY_Settings.db";
  WriteFileBytes(path, "old");
  {
    auto replacement = LinuxFileReplacer().Begin(path);
    ASSERT_NE(replacement, nullptr);
    replacement->Write("half");
  }
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(LinuxFileReplacerTest, AMissingFolderCannotTakeTheFile) {
  testing::TempDir dir;
  EXPECT_EQ(LinuxFileReplacer().Begin(dir.prefix() + "missing/file.db"), nullptr);
  EXPECT_FALSE(ReplaceFileContent(SystemFileReplacer(), dir.prefix() + "missing/file.db", "x"));
}

TEST(LinuxFileReplacerTest, AFailedRenameKeepsWhatWasThere) {
  testing::TempDir dir;
  // A non-empty folder where the file should go cannot be replaced, also not by root.
  const std::string path = dir.prefix() + "MFY_Accounts.db";
  std::filesystem::create_directory(path);
  WriteFileBytes(path + "/inside", "kept");
  auto replacement = LinuxFileReplacer().Begin(path);
  ASSERT_NE(replacement, nullptr);
  EXPECT_TRUE(replacement->Write("content"));
  EXPECT_FALSE(replacement->Commit());
  replacement.reset();
  EXPECT_EQ(ReadFileBytes(path + "/inside"), "kept");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(LinuxFileReplacerTest, AFailedWriteKeepsTheOldFile) {
  testing::TempDir dir;
  const std::string path = dir.prefix() + "MFY_Settings.db";
  WriteFileBytes(path, "old");
  // A file size limit makes write() fail for everyone, root included; it is set in a child so
  // that the test program keeps writing its own output.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    auto replacement = LinuxFileReplacer().Begin(path);
    const int code = replacement == nullptr                       ? 2
                     : replacement->Write(std::string(1000, 'x')) ? 3
                                                                  : 0;
    replacement.reset();  // discards the temporary file
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace mailferry

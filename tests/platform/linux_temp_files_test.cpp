#include "platform/linux_temp_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/mf_exception.h"
#include "support/env_guard.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class LinuxTempFilesTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  LinuxTempFiles temp_files_{dir_.path().string()};
};

TEST_F(LinuxTempFilesTest, FilesAreUniquePrivateAndInTheFolder) {
  // Even a umask that would take the owner's write permission leaves the file at 0600.
  const mode_t old_mask = umask(0277);
  std::vector<TempFile> files;
  for (int i = 0; i < 50; ++i) files.push_back(temp_files_.Create());
  umask(old_mask);

  std::set<std::string> paths;
  for (const TempFile& file : files) {
    paths.insert(file.path());
    EXPECT_EQ(fs::path(file.path()).parent_path(), dir_.path());
    EXPECT_EQ(fs::path(file.path()).filename().string().rfind("mailferry-", 0), 0u);
    struct stat info {};
    ASSERT_EQ(stat(file.path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u) << file.path();
    EXPECT_EQ(info.st_size, 0);
  }
  EXPECT_EQ(paths.size(), files.size());
}

TEST_F(LinuxTempFilesTest, ContentIsWrittenCompletely) {
  std::string content;
  for (int i = 0; content.size() < 300 * 1024; ++i) content += "line " + std::to_string(i) + "\r\n";
  content += std::string("\0\xff\x01", 3);
  const std::string big_block(100 * 1024, 'b');

  TempFile file = temp_files_.Create();
  file.stream() << content.substr(0, 10);
  file.stream().write(content.data() + 10, static_cast<std::streamsize>(content.size() - 10));
  file.stream().write(big_block.data(), static_cast<std::streamsize>(big_block.size()));
  file.stream().put('!');
  file.Close();
  EXPECT_EQ(ReadFile(file.path()), content + big_block + "!");
  EXPECT_TRUE(fs::exists(file.path()));  // closing keeps the file
  EXPECT_THROW(file.stream(), EMfException);
  file.Close();  // a second close does nothing
}

TEST_F(LinuxTempFilesTest, TheHandleDeletesItsFile) {
  std::string path;
  {
    TempFile file = temp_files_.Create();
    path = file.path();
    file.stream() << "unfinished";  // not closed: the destructor still removes it
    EXPECT_TRUE(fs::exists(path));
  }
  EXPECT_FALSE(fs::exists(path));

  TempFile reset = temp_files_.Create();
  path = reset.path();
  reset.Reset();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(reset);
  EXPECT_EQ(reset.path(), "");
}

TEST_F(LinuxTempFilesTest, MovingHandsOverOwnership) {
  TempFile first = temp_files_.Create();
  const std::string path = first.path();
  TempFile second = std::move(first);
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  first = TempFile();
  EXPECT_TRUE(fs::exists(path));
  second.stream() << "kept";
  second.Close();
  EXPECT_EQ(ReadFile(path), "kept");

  // Assigning over an owning handle deletes the file it held.
  TempFile other = temp_files_.Create();
  const std::string other_path = other.path();
  other = std::move(second);
  EXPECT_FALSE(fs::exists(other_path));
  EXPECT_EQ(other.path(), path);
  other = TempFile();
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(LinuxTempFilesTest, CreationFailureNamesTheFile) {
  LinuxTempFiles missing((dir_.path() / "missing").string());
  try {
    missing.Create();
    FAIL() << "no error";
  } catch (const EMfException& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (dir_.path() / "missing").string() +
                                         "/mailferry-XXXXXX\". No such file or directory");
  }
}

TEST(FdTempFileBufferTest, WriteFailuresRaiseErrors) {
  struct Case {
    const char* name;
    std::size_t size;  // larger than the buffer fails while writing, smaller at closing
  };
  for (const Case c : {Case{"while writing", 200 * 1024}, Case{"at closing", 10}}) {
    SCOPED_TRACE(c.name);
    const int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    FdTempFileBuffer buffer(fd, "/dev/full");
    std::ostream out(&buffer);
    out.exceptions(std::ios::badbit);
    const std::string data(c.size, 'x');
    try {
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
      buffer.Close();
      FAIL() << "no error";
    } catch (const EMfException& e) {
      EXPECT_STREQ(e.what(), "Cannot write file \"/dev/full\". No space left on device");
    }
    buffer.Close();  // already closed: nothing more to report
  }
}

TEST(DefaultTempDirectoryTest, FollowsTmpdir) {
  {
    testing::EnvGuard tmpdir("TMPDIR", "/var/tmp/mine");
    EXPECT_EQ(DefaultTempDirectory(), "/var/tmp/mine");
  }
  {
    testing::EnvGuard tmpdir("TMPDIR", "");
    EXPECT_EQ(DefaultTempDirectory(), "/tmp");
  }
  {
    testing::EnvGuard tmpdir("TMPDIR", nullptr);
    EXPECT_EQ(DefaultTempDirectory(), "/tmp");
  }
}

}  // namespace
}  // namespace mailferry

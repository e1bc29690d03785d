#include "platform/linux_directories.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace mailferry {
namespace {

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(LinuxDirectoriesTest, ExecutableDirHoldsThisTestProgram) {
  const std::string dir = LinuxDirectories().ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(dir + "platform_test"));
}

TEST(LinuxDirectoriesTest, UserDataDirFollowsXdgDataHomeElseHome) {
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(LinuxDirectories().UserDataDir(), "/srv/data/Mailferry/");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", "relative/data");  // not absolute: ignored
    ScopedEnv home("HOME", "/home/ann");
    EXPECT_EQ(LinuxDirectories().UserDataDir(), "/home/ann/.local/share/Mailferry/");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", "/home/bob/");
    EXPECT_EQ(LinuxDirectories().UserDataDir(), "/home/bob/.local/share/Mailferry/");
  }
}

TEST(LinuxDirectoriesTest, OnlyExistingFoldersAreWritable) {
  testing::TempDir dir;
  std::ofstream(dir.path() / "file") << "x";
  const LinuxDirectories directories;
  EXPECT_TRUE(directories.IsWritableDir(dir.prefix()));
  EXPECT_FALSE(directories.IsWritableDir(dir.prefix() + "missing/"));
  EXPECT_FALSE(directories.IsWritableDir(dir.prefix() + "file"));
  EXPECT_FALSE(directories.IsWritableDir(""));
}

}  // namespace
}  // namespace mailferry

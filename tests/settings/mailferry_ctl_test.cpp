// mailferryctl's commands in process, where the machine store and the folders are fakes.
#include "settings/mailferry_ctl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/failing_file_replacer.h"
#include "support/fake_directories.h"
#include "support/fake_machine_store.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

struct CtlRun {
  int status;
  std::string out;
  std::string err;
};

class MailferryCtlCommandsTest : public ::testing::Test {
 protected:
  MailferryCtlCommandsTest() : directories_(dir_.prefix() + "bin/", dir_.prefix() + "home/") {
    std::filesystem::create_directory(dir_.prefix() + "bin");
  }

  CtlRun Ctl(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunMailferryCtl(args, out, err, {store_, directories_, files_});
    return {status, out.str(), err.str()};
  }

  testing::TempDir dir_;
  testing::FakeMachineStore store_;
  testing::FakeDirectories directories_;
  testing::FailingFileReplacer files_;
};

TEST_F(MailferryCtlCommandsTest, WithoutDataDirTheDirectoryIsResolvedAndStoredAsAtStartUp) {
  const CtlRun run = Ctl({"init"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(store_.value(), dir_.prefix() + "bin/");
  EXPECT_TRUE(std::filesystem::exists(dir_.prefix() + "bin/MFY_Settings.db"));
  EXPECT_EQ(Ctl({"account", "add"}).out, "2\n");
  EXPECT_EQ(store_.writes(), 1);
}

TEST_F(MailferryCtlCommandsTest, AGivenDataDirLeavesTheMachineStoreAlone) {
  store_.Write(dir_.prefix() + "elsewhere/");
  const int writes = store_.writes();
  std::filesystem::create_directory(dir_.prefix() + "given");
  EXPECT_EQ(Ctl({"--data-dir", dir_.prefix() + "given", "init"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir_.prefix() + "given/MFY_Accounts.db"));
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "elsewhere"));
  EXPECT_EQ(store_.writes(), writes);
}

TEST_F(MailferryCtlCommandsTest, AFailedCommandStoresNoDataDirAndWritesNoFile) {
  const CtlRun run = Ctl({"recipient", "delete", "7"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "No recipient with Key 7\n");
  EXPECT_EQ(store_.writes(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.prefix() + "bin"));
}

TEST_F(MailferryCtlCommandsTest, AFileThatCannotBeWrittenFailsTheCommand) {
  ASSERT_EQ(Ctl({"init"}).status, 0);
  files_.FailBeginAfter(2);
  const CtlRun run = Ctl({"system", "set", "CheckLog=True"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot create file " + dir_.prefix() + "bin/MFY_Settings.db\n");
  files_.Heal();
  // Putting a complete file in place can still fail (the first file is then already replaced).
  files_.FailCommitAfter(1);
  const CtlRun late = Ctl({"account", "add"});
  EXPECT_EQ(late.status, 1);
  EXPECT_EQ(late.err, "Cannot create file " + dir_.prefix() + "bin/MFY_AccountDetails.db\n");
  EXPECT_EQ(late.out, "");
}

}  // namespace
}  // namespace mailferry

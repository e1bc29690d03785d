#include "platform/file_machine_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace mailferry {
namespace {

TEST(FileMachineStoreTest, MissingStoreReadsEmpty) {
  testing::TempDir dir;
  FileMachineStore store(dir.path() / "etc" / "datadir");
  EXPECT_EQ(store.Read(), "");
}

TEST(FileMachineStoreTest, WriteCreatesFolderAndReadsBack) {
  testing::TempDir dir;
  FileMachineStore store(dir.path() / "etc" / "mailferry" / "datadir");
  store.Write("/srv/mail/");
  EXPECT_EQ(store.Read(), "/srv/mail/");
  EXPECT_EQ(FileMachineStore(dir.path() / "etc" / "mailferry" / "datadir").Read(), "/srv/mail/");
}

TEST(FileMachineStoreTest, UnwritableStoreIsSilent) {
  testing::TempDir dir;
  // A regular file where the folder should be makes the write impossible, also for root.
  std::ofstream(dir.path() / "blocker") << "x";
  FileMachineStore store(dir.path() / "blocker" / "datadir");
  EXPECT_NO_THROW(store.Write("/srv/mail/"));
  EXPECT_EQ(store.Read(), "");
}

}  // namespace
}  // namespace mailferry

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/mf_exception.h"
#include "platform/temp_files.h"
#include "support/fake_temp_files.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;

TEST(TempFileTest, AFailedWriteThroughTheHandleRaisesTheFilesError) {
  testing::TempDir dir;
  testing::FakeTempFiles temp_files(dir.path().string());
  temp_files.set_write_limit(8);
  TempFile file = temp_files.Create();
  file.stream() << "12345";
  try {
    file.stream() << "67890";
    FAIL() << "no error";
  } catch (const EMfException& e) {
    EXPECT_STREQ(e.what(),
                 ("Cannot write file \"" + file.path() + "\". No space left on device").c_str());
  }
  const std::string path = file.path();
  file = TempFile();
  EXPECT_THAT(temp_files.deleted(), ElementsAre(path));
}

TEST(TempFileTest, EachFileIsDeletedOnceThroughItsOwner) {
  testing::TempDir dir;
  testing::FakeTempFiles temp_files(dir.path().string());
  {
    TempFile a = temp_files.Create();
    TempFile b = temp_files.Create();
    TempFile moved = std::move(a);
    b.Close();
    b.Reset();
    b.Reset();
  }
  ASSERT_EQ(temp_files.created().size(), 2u);
  EXPECT_THAT(temp_files.deleted(), ElementsAre(temp_files.created()[1], temp_files.created()[0]));

  temp_files.set_fail_create(true);
  EXPECT_THROW(temp_files.Create(), EMfException);
}

}  // namespace
}  // namespace mailferry

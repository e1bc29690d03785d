#include "settings/dm_in_out.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "common/mf_exception.h"
#include "settings/dm_scan.h"
#include "settings/schedule_fix_up.h"
#include "settings/settings_tables.h"
#include "settings/table_file.h"
#include "support/error_text.h"
#include "support/failing_file_replacer.h"
#include "support/fake_clock.h"
#include "support/fake_dial_up_platform.h"
#include "support/fake_directories.h"
#include "support/fake_machine_store.h"
#include "support/fake_main_thread.h"
#include "support/file_bytes.h"
#include "support/table_file_fixtures.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

constexpr const char* kFileNames[] = {kAccountsFileName, kAccountDetailsFileName,
                                      kSettingsFileName};

// The bytes of the three table files in a data directory (empty text for a missing file).
std::map<std::string, std::string> Snapshot(const std::string& data_dir) {
  std::map<std::string, std::string> files;
  for (const char* name : kFileNames) files[name] = ReadFileBytes(data_dir + name);
  return files;
}

std::string ErrorOf(const std::function<void()>& action) { return testing::MessageOf(action); }

// A data directory that the machine store names, with a module over it.
class DmInOutTest : public ::testing::Test {
 protected:
  DmInOutTest()
      : store_(dir_.prefix()),
        directories_(dir_.prefix() + "bin/", dir_.prefix() + "home/Mailferry/") {}

  std::string DataDir() const { return dir_.prefix(); }

  testing::TempDir dir_;
  testing::FakeMachineStore store_;
  testing::FakeDirectories directories_;
};

TEST_F(DmInOutTest, FirstStartUsesTheExecutablesFolderAndCreatesTheThreeFiles) {
  std::filesystem::create_directory(dir_.prefix() + "bin");
  testing::FakeMachineStore empty_store;
  TDmInOut dm(empty_store, directories_);
  dm.DataModuleCreate();
  EXPECT_EQ(dm.DataDir(), dir_.prefix() + "bin/");
  EXPECT_EQ(empty_store.value(), dir_.prefix() + "bin/");
  for (TMemTable* table : {&dm.dbAccounts, &dm.dbSendAddresses, &dm.dbSystem}) {
    EXPECT_TRUE(table->Active());
    EXPECT_TRUE(table->IsEmpty());
  }
  EXPECT_EQ(ReadFileBytes(dm.DataDir() + kSettingsFileName), testing::FreshSettingsFile());
  EXPECT_TRUE(std::filesystem::exists(dm.DataDir() + kAccountsFileName));
  EXPECT_TRUE(std::filesystem::exists(dm.DataDir() + kAccountDetailsFileName));

  // The start-up schedule fix-up then creates the system row of the worked example.
  EXPECT_EQ(FixUpSchedule(dm.dbSystem), 5);
  dm.SaveAll();
  EXPECT_EQ(ReadFileBytes(dm.DataDir() + kSettingsFileName), testing::WorkedExampleSettingsFile());
}

TEST_F(DmInOutTest, CreationStartsTheDialUpMonitoringBeforeLoading) {
  testing::FakeDialUpPlatform platform;
  platform.entries = std::vector<std::string>{"Office"};
  platform.SetConnected("Office", 7);
  testing::FakeMainThread main_thread;
  testing::FakeClock clock;
  auto ras = std::make_unique<TRasManager>(platform, main_thread, clock);
  std::vector<std::string> connected;
  ras->OnConnect = [&](TRasManager&, TRasEntry& entry) { connected.push_back(entry.Name); };
  TDmInOut dm(store_, directories_, SystemFileReplacer(), std::move(ras));
  ASSERT_FALSE(dm.Ras().Monitoring());
  dm.DataModuleCreate();
  EXPECT_TRUE(dm.Ras().Monitoring());
  EXPECT_EQ(connected, std::vector<std::string>{"Office"});
  EXPECT_EQ(dm.Ras().IndexOfEntry("Office"), 0);
  EXPECT_TRUE(dm.dbSystem.Active());
}

TEST_F(DmInOutTest, AnUnwritableExecutableFolderFallsBackToTheUsersDataFolder) {
  directories_.SetReadOnly(dir_.prefix() + "bin/");
  testing::FakeMachineStore empty_store;
  TDmInOut dm(empty_store, directories_);
  dm.LoadAll();
  EXPECT_EQ(dm.DataDir(), dir_.prefix() + "home/Mailferry/");
  EXPECT_EQ(empty_store.value(), dm.DataDir());
  EXPECT_TRUE(std::filesystem::exists(dm.DataDir() + kSettingsFileName));
}

TEST_F(DmInOutTest, AStoredDataDirIsUsedUnchanged) {
  // Without a trailing separator the file names run into the folder's name.
  testing::FakeMachineStore store(dir_.prefix() + "data");
  TDmInOut dm(store, directories_);
  dm.LoadAll();
  EXPECT_EQ(dm.DataDir(), dir_.prefix() + "data");
  EXPECT_TRUE(std::filesystem::exists(dir_.prefix() + "dataMFY_Accounts.db"));
  EXPECT_EQ(store.writes(), 0);
}

TEST_F(DmInOutTest, FirstAccountAndItsFirstRecipientAreNumberedTwo) {
  TDmInOut dm(store_, directories_);
  dm.LoadAll();
  FixUpSchedule(dm.dbSystem);  // as start-up does before any dialog opens

  dm.dbAccounts.Append();
  EXPECT_EQ(dm.dbAccounts.FieldByName("AccountID").AsInteger(), 2);
  EXPECT_EQ(dm.dbAccounts.FieldByName("Pop3Port").AsInteger(), 110);
  dm.dbAccounts.Post();
  EXPECT_EQ(dm.dbSystem.FieldByName("MaxAccountID").AsInteger(), 2);

  dm.dbSendAddresses.Append();
  EXPECT_EQ(dm.dbSendAddresses.FieldByName("Key").AsInteger(), 2);
  EXPECT_EQ(dm.dbSendAddresses.FieldByName("AccountID").AsInteger(), 2);
  dm.dbSendAddresses.Post();
  EXPECT_EQ(dm.dbSystem.FieldByName("MaxSendAddressID").AsInteger(), 2);
}

TEST_F(DmInOutTest, ARecipientAddedWhileAnAccountIsBeingAddedBelongsToIt) {
  TDmInOut dm(store_, directories_);
  dm.LoadAll();
  FixUpSchedule(dm.dbSystem);
  dm.dbAccounts.Append();
  dm.dbAccounts.Post();    // account 2
  dm.dbAccounts.Append();  // account 3, still in insert state as in the details dialog
  dm.dbSendAddresses.Append();
  EXPECT_EQ(dm.dbSendAddresses.FieldByName("AccountID").AsInteger(), 3);
  dm.dbSendAddresses.Post();
  EXPECT_EQ(dm.dbAccounts.State(), TableState::kInsert);
}

TEST_F(DmInOutTest, ACancelledAccountStillUsesUpItsNumber) {
  TDmInOut dm(store_, directories_);
  dm.LoadAll();
  FixUpSchedule(dm.dbSystem);
  dm.dbAccounts.Append();
  dm.dbAccounts.Cancel();
  EXPECT_TRUE(dm.dbAccounts.IsEmpty());
  EXPECT_EQ(dm.dbSystem.FieldByName("MaxAccountID").AsInteger(), 2);
  dm.dbAccounts.Append();
  EXPECT_EQ(dm.dbAccounts.FieldByName("AccountID").AsInteger(), 3);
}

TEST_F(DmInOutTest, IdentifiersOnAnEmptySystemTableStartFromItsNewRow) {
  TDmInOut dm(store_, directories_);
  dm.LoadAll();
  // The empty table reads 0 before its row is created with MaxAccountID 1.
  EXPECT_EQ(dm.NextAccountID(), 1);
  EXPECT_EQ(dm.NextAccountID(), 2);
  EXPECT_EQ(dm.dbSystem.RecordCount(), 1);
  EXPECT_EQ(dm.dbSystem.FieldByName("Key").AsInteger(), 0);
  EXPECT_TRUE(dm.dbSystem.FieldByName("Schedule").IsNull());
}

TEST_F(DmInOutTest, SaveAllPostsPendingEditsAndAnotherModuleReadsThemBack) {
  {
    TDmInOut dm(store_, directories_);
    dm.LoadAll();
    FixUpSchedule(dm.dbSystem);
    dm.dbAccounts.Append();
    dm.dbAccounts.FieldByName("AccountName").SetAsString("Köln");
    dm.dbSendAddresses.Append();  // posts nothing of dbAccounts: a different table
    dm.dbSendAddresses.FieldByName("EmailAddress").SetAsString("ann");
    dm.dbSystem.Edit();
    dm.dbSystem.FieldByName("ExchangeServer").SetAsString("127.0.0.1");
    dm.SaveAll();
    EXPECT_EQ(dm.dbAccounts.State(), TableState::kBrowse);
    EXPECT_EQ(dm.dbSendAddresses.State(), TableState::kBrowse);
    EXPECT_EQ(dm.dbSystem.State(), TableState::kBrowse);
  }
  TDmScan scan;
  LoadTableFile(scan.dbAccounts, DataDir() + kAccountsFileName);
  LoadTableFile(scan.dbSendAddresses, DataDir() + kAccountDetailsFileName);
  LoadTableFile(scan.dbSystem, DataDir() + kSettingsFileName);
  EXPECT_EQ(scan.dbAccounts.FieldByName("AccountName").AsString(), "Köln");
  EXPECT_EQ(scan.dbAccounts.FieldByName("AccountID").AsInteger(), 2);
  EXPECT_EQ(scan.dbSendAddresses.FieldByName("EmailAddress").AsString(), "ann");
  EXPECT_EQ(scan.dbSendAddresses.FieldByName("AccountID").AsInteger(), 2);
  EXPECT_EQ(scan.dbSystem.FieldByName("ExchangeServer").AsString(), "127.0.0.1");
  EXPECT_EQ(scan.dbSystem.FieldByName("MaxSendAddressID").AsInteger(), 2);
  // The scan's filter form selects the account's recipients.
  scan.dbSendAddresses.SetFilter("AccountID = 2");
  scan.dbSendAddresses.SetFiltered(true);
  EXPECT_EQ(scan.dbSendAddresses.RecordCount(), 1);
}

TEST_F(DmInOutTest, ADamagedFileStopsLoadingAndIsNeverSavedOver) {
  {
    TDmInOut dm(store_, directories_);
    dm.LoadAll();
  }
  // A recipients file cut short: the accounts load, the recipients fail, the system stays closed.
  const std::string damaged = ReadFileBytes(DataDir() + kAccountDetailsFileName).substr(0, 60);
  WriteFileBytes(DataDir() + kAccountDetailsFileName, damaged);
  const auto before = Snapshot(DataDir());

  TDmInOut dm(store_, directories_);
  EXPECT_EQ(ErrorOf([&] { dm.LoadAll(); }), "Stream read error");
  EXPECT_TRUE(dm.dbAccounts.Active());
  EXPECT_FALSE(dm.dbSendAddresses.Active());
  EXPECT_FALSE(dm.dbSystem.Active());

  EXPECT_EQ(ErrorOf([&] { dm.SaveAll(); }), "Stream read error");
  EXPECT_EQ(Snapshot(DataDir()), before);
}

TEST_F(DmInOutTest, ATableThatCannotBeSavedLeavesAllThreeFilesAsTheyWere) {
  testing::FailingFileReplacer files;
  TDmInOut dm(store_, directories_, files);
  dm.LoadAll();
  FixUpSchedule(dm.dbSystem);
  dm.dbAccounts.Append();
  const auto before = Snapshot(DataDir());

  files.FailBeginAfter(2);  // the third file cannot be created
  EXPECT_EQ(ErrorOf([&] { dm.SaveAll(); }), "Cannot create file " + DataDir() + kSettingsFileName);
  EXPECT_EQ(Snapshot(DataDir()), before);

  files.Heal();
  // The accounts file (the first written) is larger than 600 bytes with the new account.
  files.FailWritesAfter(ReadFileBytes(DataDir() + kAccountsFileName).size() + 10);
  EXPECT_EQ(ErrorOf([&] { dm.SaveAll(); }), "Stream write error");
  EXPECT_EQ(Snapshot(DataDir()), before);

  files.Heal();
  dm.dbSystem.Close();
  EXPECT_EQ(ErrorOf([&] { dm.SaveAll(); }),
            "dbSystem: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(Snapshot(DataDir()), before);
}

TEST_F(DmInOutTest, AMissingDataFolderCannotTakeTheNewFiles) {
  testing::FakeMachineStore store(dir_.prefix() + "gone/");
  TDmInOut dm(store, directories_);
  EXPECT_EQ(ErrorOf([&] { dm.LoadAll(); }),
            "Cannot create file " + dir_.prefix() + "gone/" + kAccountsFileName);
}

TEST(ScheduleFixUpTest, ZeroMinutesBecomeFiveAndOthersStay) {
  TMemTable system("dbSystem");
  DefineSystemTable(system);
  system.Open();
  EXPECT_EQ(FixUpSchedule(system), 5);  // no row: created with its defaults
  EXPECT_EQ(system.RecordCount(), 1);
  EXPECT_EQ(system.FieldByName("Schedule").AsInteger(), 5);
  EXPECT_EQ(system.FieldByName("SMTPPort").AsInteger(), 25);
  EXPECT_EQ(system.State(), TableState::kBrowse);

  system.Edit();
  system.FieldByName("Schedule").SetAsInteger(0);
  system.Post();
  EXPECT_EQ(FixUpSchedule(system), 5);
  EXPECT_EQ(system.FieldByName("Schedule").AsInteger(), 5);

  system.Edit();
  system.FieldByName("Schedule").SetAsInteger(10080);
  system.Post();
  EXPECT_EQ(FixUpSchedule(system), 10080);
}

}  // namespace
}  // namespace mailferry

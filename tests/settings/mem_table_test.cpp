#include "settings/mem_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/mf_exception.h"
#include "settings/settings_tables.h"
#include "support/error_text.h"

namespace mailferry {
namespace {

std::string ErrorOf(const std::function<void()>& action) { return testing::MessageOf(action); }

// The keys of the visible rows, walked as the program walks them.
std::vector<int> VisibleKeys(TMemTable& table, const char* field = "Key") {
  std::vector<int> keys;
  for (table.First(); !table.Eof(); table.Next())
    keys.push_back(table.FieldByName(field).AsInteger());
  return keys;
}

void AddRecipient(TMemTable& table, int key, int account_id) {
  table.Append();
  table.FieldByName("Key").SetAsInteger(key);
  table.FieldByName("AccountID").SetAsInteger(account_id);
  table.Post();
}

TEST(MemTableTest, NewAccountRowGetsItsDefaultsAndAnAutomaticNumber) {
  TMemTable accounts("dbAccounts");
  DefineAccountsTable(accounts);
  accounts.Open();
  accounts.Append();
  EXPECT_EQ(accounts.State(), TableState::kInsert);
  EXPECT_EQ(accounts.FieldByName("ForwardMethod").AsInteger(), 0);
  EXPECT_FALSE(accounts.FieldByName("ForwardMethod").IsNull());
  EXPECT_EQ(accounts.FieldByName("Pop3Port").AsInteger(), 110);
  EXPECT_FALSE(accounts.FieldByName("Pop3KeepMessages").AsBoolean());
  EXPECT_FALSE(accounts.FieldByName("Pop3KeepMessages").IsNull());
  EXPECT_EQ(accounts.FieldByName("Pop3KeepTime").AsInteger(), 0);
  EXPECT_TRUE(accounts.FieldByName("AccountName").IsNull());
  EXPECT_EQ(accounts.FieldByName("AccountID").AsInteger(), 0);  // the first automatic number
}

TEST(MemTableTest, AutomaticNumbersFollowTheHighWaterMark) {
  TMemTable system("dbSystem");
  DefineSystemTable(system);
  system.Open();
  EXPECT_EQ(system.AutoIncHighWater(), -1);
  system.Append();
  system.Post();
  system.Append();
  EXPECT_EQ(system.FieldByName("Key").AsInteger(), 1);
  system.FieldByName("Key").SetAsInteger(40);  // a larger value posted raises the mark
  system.Post();
  EXPECT_EQ(system.AutoIncHighWater(), 40);
  system.Append();
  EXPECT_EQ(system.FieldByName("Key").AsInteger(), 41);
  system.Cancel();  // a cancelled row does not raise it
  system.Append();
  EXPECT_EQ(system.FieldByName("Key").AsInteger(), 41);
  system.Cancel();
  system.Close();
  system.Open();
  EXPECT_EQ(system.AutoIncHighWater(), -1);
}

TEST(MemTableTest, AfterInsertRunsLastAndItsNumberIsStored) {
  TMemTable accounts("dbAccounts");
  DefineAccountsTable(accounts);
  accounts.Open();
  std::vector<int> seen_ports;
  accounts.SetAfterInsert([&](TMemTable& table) {
    EXPECT_EQ(table.State(), TableState::kInsert);
    seen_ports.push_back(table.FieldByName("Pop3Port").AsInteger());
    table.FieldByName("AccountID").SetAsInteger(17);
  });
  accounts.Append();
  accounts.Post();
  EXPECT_EQ(seen_ports, std::vector<int>{110});  // defaults were in place before the event
  EXPECT_EQ(accounts.FieldByName("AccountID").AsInteger(), 17);
  EXPECT_EQ(accounts.AutoIncHighWater(), 17);
}

TEST(MemTableTest, EditOnAnEmptyTableInserts) {
  TMemTable system("dbSystem");
  DefineSystemTable(system);
  system.Open();
  EXPECT_TRUE(system.IsEmpty());
  EXPECT_EQ(system.FieldByName("MaxAccountID").AsInteger(), 0);  // nothing to read yet
  system.Edit();
  EXPECT_EQ(system.State(), TableState::kInsert);
  EXPECT_EQ(system.FieldByName("MaxAccountID").AsInteger(), 1);
  system.Post();
  system.Edit();
  EXPECT_EQ(system.State(), TableState::kEdit);
  EXPECT_EQ(system.RecordCount(), 1);
}

TEST(MemTableTest, CancelDropsANewRowAndRestoresAnEditedOne) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  AddRecipient(recipients, 2, 7);
  recipients.Append();
  recipients.FieldByName("Key").SetAsInteger(3);
  recipients.Cancel();
  EXPECT_EQ(VisibleKeys(recipients), std::vector<int>{2});

  recipients.Edit();
  recipients.FieldByName("Key").SetAsInteger(9);
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 9);
  recipients.Cancel();
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 2);
  EXPECT_EQ(recipients.State(), TableState::kBrowse);
}

TEST(MemTableTest, InsertGoesBeforeTheCurrentRowAndAppendAfterTheLast) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  AddRecipient(recipients, 1, 0);
  AddRecipient(recipients, 2, 0);
  recipients.First();
  recipients.Next();
  recipients.Insert();
  recipients.FieldByName("Key").SetAsInteger(3);
  recipients.Post();
  EXPECT_EQ(recipients.RecNo(), 2);
  AddRecipient(recipients, 4, 0);
  EXPECT_EQ(VisibleKeys(recipients), (std::vector<int>{1, 3, 2, 4}));
}

TEST(MemTableTest, NavigationPostsAPendingEdit) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  AddRecipient(recipients, 1, 0);
  AddRecipient(recipients, 2, 0);
  recipients.First();
  recipients.Edit();
  recipients.FieldByName("Key").SetAsInteger(5);
  recipients.Next();
  EXPECT_EQ(recipients.State(), TableState::kBrowse);
  EXPECT_EQ(VisibleKeys(recipients), (std::vector<int>{5, 2}));
}

TEST(MemTableTest, DeleteRemovesTheCurrentRow) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  for (int key = 1; key <= 3; ++key) AddRecipient(recipients, key, 0);
  recipients.First();
  recipients.Next();
  recipients.Delete();
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 3);  // the next row becomes current
  recipients.Delete();
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 1);  // at the end: the one before
  recipients.Append();
  recipients.Delete();  // deleting a new row cancels it
  EXPECT_EQ(VisibleKeys(recipients), std::vector<int>{1});
  recipients.Delete();
  EXPECT_TRUE(recipients.IsEmpty());
  EXPECT_EQ(ErrorOf([&] { recipients.Delete(); }),
            "dbSendAddresses: Cannot perform this operation on an empty dataset");
}

TEST(MemTableTest, OperationsOutsideTheirStateRaiseTheTablesError) {
  TMemTable accounts("dbAccounts");
  DefineAccountsTable(accounts);
  const std::string closed = "dbAccounts: Cannot perform this operation on a closed dataset";
  EXPECT_EQ(ErrorOf([&] { accounts.First(); }), closed);
  EXPECT_EQ(ErrorOf([&] { accounts.Edit(); }), closed);
  EXPECT_EQ(ErrorOf([&] { accounts.Append(); }), closed);
  EXPECT_EQ(ErrorOf([&] { accounts.Delete(); }), closed);
  EXPECT_TRUE(accounts.IsEmpty());
  EXPECT_TRUE(accounts.Eof());
  EXPECT_EQ(accounts.FieldByName("Pop3Port").AsInteger(), 0);

  accounts.Open();
  const std::string not_editing = "dbAccounts: Dataset not in edit or insert mode";
  EXPECT_EQ(ErrorOf([&] { accounts.Post(); }), not_editing);
  accounts.Append();
  accounts.Post();
  EXPECT_EQ(ErrorOf([&] { accounts.Post(); }), not_editing);
  EXPECT_EQ(ErrorOf([&] { accounts.FieldByName("AccountName").SetAsString("x"); }), not_editing);
  EXPECT_EQ(ErrorOf([&] { accounts.FieldByName("Pop3Port").SetAsString("1+2"); }), not_editing);
  EXPECT_EQ(ErrorOf([&] { accounts.AddField(MakeFieldDef("X", FieldType::kInteger)); }),
            "dbAccounts: Cannot perform this operation on an open dataset");
}

TEST(MemTableTest, FieldsAreFoundWithoutRegardToCase) {
  TMemTable system("dbSystem");
  DefineSystemTable(system);
  EXPECT_EQ(&system.FieldByName("RasEnabled"), &system.FieldByName("RASEnabled"));
  EXPECT_EQ(system.FieldByName("rasconnection").FieldName(), "RASConnection");
  EXPECT_EQ(system.FindField("CheckLogs"), nullptr);
  EXPECT_EQ(ErrorOf([&] { system.FieldByName("CheckLogs"); }),
            "dbSystem: Field 'CheckLogs' not found");
}

TEST(MemTableTest, BothWrittenFormsOfTheAccountFilterSelectTheSameRows) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  AddRecipient(recipients, 2, 7);
  AddRecipient(recipients, 3, 8);
  AddRecipient(recipients, 4, 7);
  AddRecipient(recipients, 5, 17);
  for (const char* text : {"AccountID=7", "AccountID = 7", "accountid  =7 "}) {
    recipients.SetFiltered(false);
    recipients.SetFilter(text);
    recipients.SetFiltered(true);
    EXPECT_EQ(VisibleKeys(recipients), (std::vector<int>{2, 4})) << text;
    EXPECT_EQ(recipients.RecordCount(), 2) << text;
  }
  recipients.SetFilter("AccountID=9");  // changing the text while on applies it
  EXPECT_TRUE(recipients.IsEmpty());
  EXPECT_TRUE(recipients.Eof());
  recipients.SetFiltered(false);
  EXPECT_EQ(VisibleKeys(recipients), (std::vector<int>{2, 3, 4, 5}));

  recipients.SetFilter("");
  recipients.SetFiltered(true);
  EXPECT_EQ(recipients.RecordCount(), 4);  // an empty filter lets every row pass
  recipients.SetFiltered(false);
}

TEST(MemTableTest, AFilterHidesRowsFromNavigationAndNewRowsJoinIt) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  AddRecipient(recipients, 2, 7);
  AddRecipient(recipients, 3, 8);
  recipients.SetFilter("AccountID=7");
  recipients.SetFiltered(true);
  AddRecipient(recipients, 4, 7);
  EXPECT_EQ(recipients.FieldByName("Key").AsInteger(), 4);
  AddRecipient(recipients, 5, 9);  // posted outside the filter: it disappears from view
  EXPECT_EQ(recipients.RecordCount(), 2);
  EXPECT_EQ(VisibleKeys(recipients), (std::vector<int>{2, 4}));
}

TEST(MemTableTest, UnsupportedFilterTextIsRefusedAndTheOldFilterStays) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  AddRecipient(recipients, 2, 7);
  recipients.SetFilter("AccountID > 7");
  EXPECT_EQ(ErrorOf([&] { recipients.SetFiltered(true); }),
            "dbSendAddresses: Filter text not supported: AccountID > 7");
  EXPECT_FALSE(recipients.Filtered());
  recipients.SetFilter("AccountID=7");
  recipients.SetFiltered(true);
  EXPECT_EQ(ErrorOf([&] { recipients.SetFilter("Owner=7"); }),
            "dbSendAddresses: Field 'Owner' not found");
  EXPECT_EQ(recipients.Filter(), "AccountID=7");
  EXPECT_EQ(recipients.RecordCount(), 1);
}

TEST(MemTableTest, ListenersHearMovesStatesAndChanges) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  std::vector<DataEvent> events;
  const int id = recipients.AddDataListener([&](DataEvent event) { events.push_back(event); });
  recipients.Append();
  recipients.FieldByName("Key").SetAsInteger(1);
  recipients.Post();
  recipients.First();
  EXPECT_EQ(events, (std::vector<DataEvent>{DataEvent::kStateChanged, DataEvent::kFieldChanged,
                                            DataEvent::kUpdateRecord, DataEvent::kStateChanged,
                                            DataEvent::kDataSetChanged, DataEvent::kScrolled}));
  recipients.RemoveDataListener(id);
  recipients.First();
  EXPECT_EQ(events.size(), 6u);
}

TEST(MemTableTest, PostLetsListenersWriteFirstAndARefusalKeepsTheRowEditing) {
  TMemTable recipients("dbSendAddresses");
  DefineSendAddressesTable(recipients);
  recipients.Open();
  std::string pending = "ann";
  bool refuse = true;
  recipients.AddDataListener([&](DataEvent event) {
    if (event != DataEvent::kUpdateRecord) return;
    if (refuse) throw EMfException("refused");
    recipients.FieldByName("EmailAddress").SetAsString(pending);
  });
  recipients.Append();
  EXPECT_THROW(recipients.Post(), EMfException);
  EXPECT_EQ(recipients.State(), TableState::kInsert);
  EXPECT_TRUE(recipients.IsEmpty());

  refuse = false;
  recipients.Post();
  EXPECT_EQ(recipients.State(), TableState::kBrowse);
  EXPECT_EQ(recipients.FieldByName("EmailAddress").AsString(), "ann");
}

}  // namespace
}  // namespace mailferry

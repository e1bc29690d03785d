// The binding layer: bound controls over a settings table, driven as a user drives them.
#include "ui/db_controls.h"

#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTest>
#include <QWidget>

#include "settings/settings_tables.h"
#include "ui_test_support.h"

namespace mailferry::testing {
namespace {

class DbControlsTest : public ::testing::Test {
 protected:
  DbControlsTest() {
    DefineAccountsTable(accounts_);
    accounts_.Open();
    AddAccount("Office", 110);
    AddAccount("Home", 995);
    accounts_.First();
    window_.resize(300, 200);
  }

  void AddAccount(const std::string& name, int port) {
    accounts_.Append();
    accounts_.FieldByName("AccountName").SetAsString(name);
    accounts_.FieldByName("Pop3Port").SetAsInteger(port);
    accounts_.Post();
  }

  // A text box and a second control to move the focus to, in an active window.
  TDBEdit* EditFor(const char* field) {
    auto* edit = new TDBEdit(accounts_, field, ui_, &window_);
    other_ = new QLineEdit(&window_);
    other_->move(0, 100);
    ActivateWindow(window_);
    edit->setFocus();
    return edit;
  }

  UsesTestApplication application_;
  TMemTable accounts_{"dbAccounts"};
  FakeModalUi ui_;
  QWidget window_;
  QLineEdit* other_ = nullptr;
};

TEST_F(DbControlsTest, FirstChangeEditsTheRowAndLeavingTheBoxWritesIt) {
  TDBEdit* edit = EditFor("AccountName");
  EXPECT_EQ(edit->text(), "Office");

  QTest::keyClicks(edit, " 2");
  EXPECT_EQ(accounts_.State(), TableState::kEdit);
  EXPECT_EQ(accounts_.FieldByName("AccountName").AsString(), "Office");

  other_->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(accounts_.FieldByName("AccountName").AsString(), "Office 2");

  // Moving to another row posts the edit; the box follows the new current row.
  accounts_.Next();
  EXPECT_EQ(edit->text(), "Home");
  accounts_.First();
  EXPECT_EQ(edit->text(), "Office 2");
}

TEST_F(DbControlsTest, PostingTheRowWritesTheTextStillBeingTyped) {
  TDBEdit* edit = EditFor("AccountName");
  edit->selectAll();
  QTest::keyClicks(edit, "Shop");
  accounts_.Post();
  EXPECT_EQ(accounts_.FieldByName("AccountName").AsString(), "Shop");
  EXPECT_EQ(accounts_.State(), TableState::kBrowse);
}

TEST_F(DbControlsTest, CancelShowsTheStoredValueAgain) {
  TDBEdit* edit = EditFor("AccountName");
  QTest::keyClicks(edit, "!!");
  other_->setFocus(Qt::TabFocusReason);
  accounts_.Cancel();
  EXPECT_EQ(edit->text(), "Office");
  EXPECT_EQ(accounts_.FieldByName("AccountName").AsString(), "Office");
}

TEST_F(DbControlsTest, StringBoxTakesAtMostTheFieldsCharacters) {
  TDBEdit* edit = EditFor("AccountName");  // String(50)
  edit->clear();
  TypeText(edit, QString(49, u'x') + QString::fromUtf8("éüö"));
  EXPECT_EQ(edit->text(), QString(49, u'x') + QString::fromUtf8("é"));
}

TEST_F(DbControlsTest, NumberBoxRefusalsKeepTheFocus) {
  struct Case {
    const char* typed;
    std::string shown;       // the text left in the box after typing
    std::string error;       // empty: accepted
    std::string field_text;  // the field afterwards
  };
  const Case cases[] = {
      {"70000", "70000",
       "70000 is not a valid value for field 'Pop3Port'. The allowed range is 0 to 65535", "110"},
      {"1+2", "1+2", "'1+2' is not a valid integer value for field 'Pop3Port'", "110"},
      {"abc-9", "-9",
       "-9 is not a valid value for field 'Pop3Port'. The allowed range is 0 to 65535", "110"},
      {"", "", "", ""},
      {"+25", "+25", "", "25"},
  };
  TDBEdit* edit = EditFor("Pop3Port");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    ui_.errors.clear();
    accounts_.Cancel();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, c.typed);
    EXPECT_EQ(edit->text().toStdString(), c.shown);

    other_->setFocus(Qt::TabFocusReason);
    if (c.error.empty()) {
      EXPECT_TRUE(ui_.errors.empty());
      EXPECT_TRUE(other_->hasFocus());
    } else {
      EXPECT_EQ(ui_.errors, std::vector<std::string>{c.error});
      EXPECT_TRUE(edit->hasFocus());
    }
    EXPECT_EQ(accounts_.FieldByName("Pop3Port").AsString(), c.field_text);
  }
}

TEST_F(DbControlsTest, ValueListsShowNoItemForAnUnknownValueAndWriteTheChosenValue) {
  accounts_.Edit();
  accounts_.FieldByName("Pop3KeepTime").SetAsInteger(45);
  accounts_.FieldByName("ForwardMethod").SetAsInteger(7);
  accounts_.Post();

  TDBComboBox combo({{"Unlimited", "0"}, {"1", "1"}, {"2", "2"}}, accounts_, "Pop3KeepTime", ui_,
                    &window_);
  TDBRadioGroup radio("Forward Method", {{"Keep Username", "0"}, {"Send to a list", "1"}},
                      accounts_, "ForwardMethod", ui_, &window_);
  EXPECT_EQ(combo.currentIndex(), -1);
  EXPECT_EQ(radio.ItemIndex(), -1);

  combo.setCurrentIndex(2);
  emit combo.activated(2);
  radio.Button(1)->click();
  EXPECT_EQ(accounts_.State(), TableState::kEdit);
  accounts_.Post();
  EXPECT_EQ(accounts_.FieldByName("Pop3KeepTime").AsInteger(), 2);
  EXPECT_EQ(accounts_.FieldByName("ForwardMethod").AsInteger(), 1);

  accounts_.Next();  // Home: the defaults 0 and 0
  EXPECT_EQ(combo.currentText(), "Unlimited");
  EXPECT_EQ(radio.ItemIndex(), 0);
}

TEST_F(DbControlsTest, CheckBoxFollowsTheFieldAndWritesIt) {
  TDBCheckBox box("Keep Messages On Server", accounts_, "Pop3KeepMessages", ui_, &window_);
  EXPECT_FALSE(box.isChecked());
  box.click();
  accounts_.Post();
  EXPECT_TRUE(accounts_.FieldByName("Pop3KeepMessages").AsBoolean());
  accounts_.Next();
  EXPECT_FALSE(box.isChecked());
  accounts_.Prior();
  EXPECT_TRUE(box.isChecked());
}

TEST_F(DbControlsTest, LookupListShowsVisibleRowsAndChoosingOneMakesItCurrent) {
  TDBLookupListBox list(accounts_, "AccountName", ui_, &window_);
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list.item(1)->text(), "Home");
  EXPECT_EQ(list.currentRow(), 0);

  list.setCurrentRow(1);
  EXPECT_EQ(accounts_.RecNo(), 2);

  accounts_.SetFilter("AccountID=" +
                      std::to_string(accounts_.FieldByName("AccountID").AsInteger()));
  accounts_.SetFiltered(true);
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.item(0)->text(), "Home");
  accounts_.SetFiltered(false);

  accounts_.Delete();
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.item(0)->text(), "Office");
}

TEST_F(DbControlsTest, ClosedTableMakesTheBoxReadOnly) {
  TDBEdit* edit = EditFor("AccountName");
  accounts_.Close();
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_EQ(edit->text(), "");
}

}  // namespace
}  // namespace mailferry::testing

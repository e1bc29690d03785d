// The account list and account details dialogs, worked through their buttons and boxes.
#include "ui/frm_edit_accounts.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ui_test_support.h"

namespace mailferry::testing {
namespace {

class EditAccountsTest : public DesktopProgramTest {
 protected:
  void SetUp() override {
    Start();
    ActivateWindow(list());
  }

  TfrmEditAccounts& list() { return program().frmEditAccounts(); }
  TfrmAccountDetails& details() { return program().frmAccountDetails(); }
  int MaxAccountID() { return dm().dbSystem.FieldByName("MaxAccountID").AsInteger(); }

  // An account and its recipients, made as the dialogs would make them; its AccountID.
  int AddAccount(const std::string& name, const std::vector<std::string>& recipients) {
    TMemTable& accounts = dm().dbAccounts;
    accounts.Append();
    accounts.FieldByName("AccountName").SetAsString(name);
    for (const std::string& address : recipients) {
      dm().dbSendAddresses.Append();
      dm().dbSendAddresses.FieldByName("EmailAddress").SetAsString(address);
      dm().dbSendAddresses.Post();
    }
    accounts.Post();
    return accounts.FieldByName("AccountID").AsInteger();
  }

  std::vector<std::string> Lines(const QListWidget& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.count(); ++i) lines.push_back(list.item(i)->text().toStdString());
    return lines;
  }

  // The recipient rows of every account, as "AccountID Key EmailAddress".
  std::vector<std::string> RecipientRows() {
    std::vector<std::string> rows;
    TMemTable& recipients = dm().dbSendAddresses;
    EXPECT_FALSE(recipients.Filtered());
    for (recipients.First(); !recipients.Eof(); recipients.Next()) {
      rows.push_back(recipients.FieldByName("AccountID").AsString() + " " +
                     recipients.FieldByName("Key").AsString() + " " +
                     recipients.FieldByName("EmailAddress").AsString());
    }
    return rows;
  }

  // Types into a box that has the focus, replacing its text.
  void Retype(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    TypeText(box, text);
  }
};

TEST_F(EditAccountsTest, AddPostsOnOkAndCancelsOtherwiseUsingUpAnIdEitherWay) {
  ui_.dialogs.push_back([&](QDialog&) {
    // A new row's defaults, shown before anything is typed.
    EXPECT_EQ(details().DBEdit3->text(), "110");
    EXPECT_EQ(details().DBRadioGroup1->ItemIndex(), 0);
    EXPECT_FALSE(details().DBCheckBox1->isChecked());
    EXPECT_EQ(details().DBComboBox1->currentText(), "Unlimited");
    Retype(details().DBEdit1, "Discarded");
    details().Button3->click();
  });
  list().Button1->click();
  EXPECT_TRUE(dm().dbAccounts.IsEmpty());
  EXPECT_EQ(MaxAccountID(), 2);

  ui_.dialogs.push_back([&](QDialog&) {
    Retype(details().DBEdit1, "Office");
    Retype(details().DBEdit2, "127.0.0.1");
    details().DBRadioGroup1->Button(1)->click();
    details().Button4->click();
  });
  list().Button1->click();
  EXPECT_EQ(MaxAccountID(), 3);
  EXPECT_EQ(Lines(*list().DBLookupListBox1), std::vector<std::string>{"Office"});
  TMemTable& accounts = dm().dbAccounts;
  EXPECT_EQ(accounts.State(), TableState::kBrowse);
  EXPECT_EQ(accounts.FieldByName("AccountID").AsInteger(), 3);
  EXPECT_EQ(accounts.FieldByName("Pop3Server").AsString(), "127.0.0.1");
  EXPECT_EQ(accounts.FieldByName("ForwardMethod").AsInteger(), 1);
  EXPECT_FALSE(dm().dbSendAddresses.Filtered());
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(EditAccountsTest, EditThenCancelRestoresTheAccountButNotARemovedRecipient) {
  AddAccount("Office", {"ann", "bob"});
  AddAccount("Home", {"eve"});
  list().DBLookupListBox1->setCurrentRow(0);
  ui_.dialogs.push_back([&](QDialog&) {
    EXPECT_EQ(details().DBEdit1->text(), "Office");
    EXPECT_EQ(Lines(*details().DBLookupListBox1), (std::vector<std::string>{"ann", "bob"}));
    Retype(details().DBEdit1, "Renamed");
    details().DBLookupListBox1->setCurrentRow(0);
    details().Button2->click();
    EXPECT_EQ(Lines(*details().DBLookupListBox1), std::vector<std::string>{"bob"});
    details().Button3->click();
  });
  list().Button2->click();
  EXPECT_EQ(Lines(*list().DBLookupListBox1), (std::vector<std::string>{"Office", "Home"}));
  EXPECT_EQ(dm().dbAccounts.State(), TableState::kBrowse);
  EXPECT_EQ(RecipientRows(), (std::vector<std::string>{"2 3 bob", "3 4 eve"}));
}

TEST_F(EditAccountsTest, DeleteDropsTheCurrentAccountAndKeepsItsRecipients) {
  AddAccount("Office", {"ann"});
  AddAccount("Home", {"eve"});
  list().DBLookupListBox1->setCurrentRow(1);
  list().Button3->click();
  EXPECT_EQ(Lines(*list().DBLookupListBox1), std::vector<std::string>{"Office"});
  list().Button3->click();
  EXPECT_TRUE(dm().dbAccounts.IsEmpty());
  EXPECT_EQ(RecipientRows(), (std::vector<std::string>{"2 2 ann", "3 3 eve"}));

  // Nothing to edit or delete: no dialog, no error.
  list().Button2->click();
  list().Button3->click();
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(EditAccountsTest, RecipientsAreAddedAndRemovedAtOnce) {
  const int office = AddAccount("Office", {});
  ui_.input_answers = {QString("ann@example.com"), std::nullopt, QString(60, u'x'), QString()};
  ui_.dialogs.push_back([&](QDialog&) {
    for (int i = 0; i < 4; ++i) details().Button1->click();
    EXPECT_EQ(Lines(*details().DBLookupListBox1),
              (std::vector<std::string>{"ann@example.com", std::string(50, 'x'), ""}));
    details().DBLookupListBox1->setCurrentRow(1);
    details().Button2->click();
    details().Button3->click();  // Cancel keeps the recipient rows
  });
  list().Button2->click();
  EXPECT_EQ(ui_.input_boxes.front(), "Please enter the email address.|Email Address:|255");
  const std::string id = std::to_string(office);
  EXPECT_EQ(RecipientRows(), (std::vector<std::string>{id + " 2 ann@example.com", id + " 4 "}));
}

TEST_F(EditAccountsTest, PortOutOfRangeIsRefusedAndKeepsTheFocusUntilCorrected) {
  AddAccount("Office", {});
  const std::string range_message =
      "70000 is not a valid value for field 'Pop3Port'. The allowed range is 0 to 65535";
  ui_.dialogs.push_back([&](QDialog& dialog) {
    Retype(details().DBEdit3, "70000");
    details().DBEdit5->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(ui_.errors, std::vector<std::string>{range_message});
    EXPECT_TRUE(details().DBEdit3->hasFocus());

    details().Button4->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(ui_.errors.size(), 2u);
    EXPECT_TRUE(details().DBEdit3->hasFocus());

    Retype(details().DBEdit3, "995");
    details().Button4->click();
  });
  list().Button2->click();
  EXPECT_EQ(dm().dbAccounts.FieldByName("Pop3Port").AsInteger(), 995);
}

TEST_F(EditAccountsTest, ScanStartedWhileTheDialogIsOpenPostsTheRowFirst) {
  AddAccount("Office", {});
  ui_.dialogs.push_back([&](QDialog& dialog) {
    Retype(details().DBEdit1, "Saved by the scan");
    dm().SaveAll();  // what a timed scan's start does
    details().Button4->click();
    EXPECT_FALSE(dialog.isVisible());
  });
  list().Button2->click();
  EXPECT_EQ(ui_.errors, std::vector<std::string>{"dbAccounts: Dataset not in edit or insert mode"});
  EXPECT_EQ(dm().dbAccounts.FieldByName("AccountName").AsString(), "Saved by the scan");
  EXPECT_FALSE(dm().dbSendAddresses.Filtered());
}

TEST_F(EditAccountsTest, SettingsBoxesEditTheSystemRowWithoutPostingIt) {
  Retype(list().DBEdit1, "mail.local");
  list().DBCheckBox4->click();
  list().Button4->click();
  TMemTable& system = dm().dbSystem;
  EXPECT_EQ(system.State(), TableState::kEdit);
  EXPECT_EQ(system.FieldByName("ExchangeServer").AsString(), "mail.local");
  EXPECT_TRUE(system.FieldByName("CheckLog").AsBoolean());
}

}  // namespace
}  // namespace mailferry::testing

#include "ui/frm_edit_accounts.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "ui/window_look.h"

namespace mailferry {
namespace {

QPushButton* PlaceButton(const QString& caption, int left, int top, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(left, top, 75, 25);
  button->setAutoDefault(false);
  // A click leaves the focus in the text box, whose pending value the action then writes.
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

// Switches a table's filter off when the scope ends, however it ends.
class FilterOff {
 public:
  explicit FilterOff(TMemTable& table) : table_(table) {}
  ~FilterOff() {
    try {
      table_.SetFiltered(false);
    } catch (...) {
      // Switching off only fails when posting a pending row fails; that error was shown already.
    }
  }
  FilterOff(const FilterOff&) = delete;
  FilterOff& operator=(const FilterOff&) = delete;

 private:
  TMemTable& table_;
};

}  // namespace

TfrmEditAccounts::TfrmEditAccounts(TDmInOut& dm_in_out, ModalUi& ui, QWidget* parent)
    : TClassicDialog(true, parent), dm_in_out_(dm_in_out), ui_(ui) {
  setWindowTitle("Edit Accounts");
  SetUpFixedWindow(this, 556, 224);
  TMemTable& system = dm_in_out.dbSystem;

  Label1 = PlaceLabel("Pop3 Accounts", 8, 8, this);
  DBLookupListBox1 = new TDBLookupListBox(dm_in_out.dbAccounts, "AccountName", ui, this);
  DBLookupListBox1->setGeometry(8, 24, 177, 160);
  Button1 = PlaceButton("Add", 192, 24, this);
  Button2 = PlaceButton("Edit ", 192, 56, this);
  Button3 = PlaceButton("Delete", 192, 88, this);

  auto* separator = new QFrame(this);
  separator->setFrameShape(QFrame::VLine);
  separator->setFrameShadow(QFrame::Sunken);
  separator->setGeometry(271, 8, 2, 177);

  Label2 = PlaceLabel("SMTP Server", 288, 8, this);
  DBEdit1 = new TDBEdit(system, "ExchangeServer", ui, this);
  DBEdit1->setGeometry(288, 24, 169, 21);
  Label4 = PlaceLabel("Port", 464, 8, this);
  DBEdit5 = new TDBEdit(system, "SMTPPort", ui, this);
  DBEdit5->setGeometry(464, 24, 81, 21);
  DBCheckBox3 = new TDBCheckBox("Run As Service", system, "CheckAsService", ui, this);
  DBCheckBox3->setGeometry(288, 56, 121, 17);
  Button4 = PlaceButton("Close", 472, 192, this);
  DBCheckBox4 = new TDBCheckBox("Log Actions", system, "CheckLog", ui, this);
  DBCheckBox4->setGeometry(432, 56, 97, 17);

  QWidget* order[] = {DBLookupListBox1, Button1,     Button2, Button3,    DBEdit1,
                      DBEdit5,          DBCheckBox3, Button4, DBCheckBox4};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Button1, &QPushButton::clicked, this, &TfrmEditAccounts::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfrmEditAccounts::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TfrmEditAccounts::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TfrmEditAccounts::CloseClick);
}

void TfrmEditAccounts::SetRecipientFilter(int account_id) {
  TMemTable& recipients = dm_in_out_.dbSendAddresses;
  recipients.SetFiltered(false);
  recipients.SetFilter("AccountID=" + std::to_string(account_id));
  recipients.SetFiltered(true);
}

void TfrmEditAccounts::ShowDetails() {
  TMemTable& accounts = dm_in_out_.dbAccounts;
  while (true) {
    if (ui_.ShowModal(*details_) != QDialog::Accepted) {
      accounts.Cancel();
      return;
    }
    try {
      accounts.Post();
      return;
    } catch (const std::exception& error) {
      ui_.ShowError(this, QString::fromStdString(error.what()));
      // A row that is still being edited goes back to the user instead of being lost.
      if (accounts.State() != TableState::kEdit && accounts.State() != TableState::kInsert) return;
    }
  }
}

void TfrmEditAccounts::Button1Click() {
  if (!CommitFocusedControl(this, ui_)) return;
  TMemTable& accounts = dm_in_out_.dbAccounts;
  RunGuarded(ui_, this, [&] {
    try {
      accounts.Append();
    } catch (...) {
      // A new row whose numbering failed is dropped, not left half made.
      accounts.Cancel();
      throw;
    }
    FilterOff filter_off(dm_in_out_.dbSendAddresses);
    SetRecipientFilter(accounts.FieldByName("AccountID").AsInteger());
    ShowDetails();
  });
}

void TfrmEditAccounts::Button2Click() {
  if (!CommitFocusedControl(this, ui_)) return;
  TMemTable& accounts = dm_in_out_.dbAccounts;
  if (accounts.IsEmpty()) return;
  RunGuarded(ui_, this, [&] {
    FilterOff filter_off(dm_in_out_.dbSendAddresses);
    SetRecipientFilter(accounts.FieldByName("AccountID").AsInteger());
    accounts.Edit();
    ShowDetails();
  });
}

void TfrmEditAccounts::Button3Click() {
  if (!CommitFocusedControl(this, ui_)) return;
  TMemTable& accounts = dm_in_out_.dbAccounts;
  if (accounts.IsEmpty()) return;
  RunGuarded(ui_, this, [&] { accounts.Delete(); });
}

void TfrmEditAccounts::CloseClick() {
  if (CommitFocusedControl(this, ui_)) accept();
}

}  // namespace mailferry

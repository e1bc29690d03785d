#include "ui/frm_account_details.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "ui/window_look.h"

namespace mailferry {
namespace {

// Text boxes are 21 pixels high throughout.
constexpr int kEditHeight = 21;

// The recipient input box.
constexpr const char* kRecipientCaption = "Please enter the email address.";
constexpr const char* kRecipientPrompt = "Email Address:";
constexpr int kRecipientMaxLength = 255;

QPushButton* PlaceButton(const QString& caption, int left, int top, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(left, top, 75, 25);
  button->setAutoDefault(false);
  // A click leaves the focus in the text box, whose pending value the action then writes.
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

std::vector<TValueItem> KeepTimeItems() {
  std::vector<TValueItem> items{{"Unlimited", "0"}};
  for (int days = 1; days <= 31; ++days)
    items.push_back({QString::number(days), QString::number(days)});
  return items;
}

}  // namespace

TfrmAccountDetails::TfrmAccountDetails(TDmInOut& dm_in_out, ModalUi& ui, QWidget* parent)
    : TClassicDialog(false, parent), dm_in_out_(dm_in_out), ui_(ui) {
  setWindowTitle("Account Details");
  SetUpFixedWindow(this, 357, 451);
  TMemTable& accounts = dm_in_out.dbAccounts;

  const auto edit = [&](const char* field, const char* label, int left, int top, int width) {
    PlaceLabel(label, left, top - 16, this);
    auto* box = new TDBEdit(accounts, field, ui, this);
    box->setGeometry(left, top, width, kEditHeight);
    return box;
  };
  DBEdit1 = edit("AccountName", "Account Name", 16, 32, 233);
  DBEdit2 = edit("Pop3Server", "Pop3 Server", 16, 80, 169);
  DBEdit3 = edit("Pop3Port", "Port", 192, 80, 57);
  DBEdit5 = edit("Pop3UserName", "User Name", 16, 128, 113);
  DBEdit6 = edit("Pop3Password", "Password", 136, 128, 113);
  DBEdit6->setEchoMode(QLineEdit::Password);
  DBEdit6->setStyleSheet("lineedit-password-character: 42");  // every character shown as "*"
  DBEdit4 = edit("Pop3DomainName", "Remote Domain Name", 16, 176, 233);
  DBEdit7 = edit("SMTPDomainName", "Local Domain Name", 16, 224, 233);

  auto* separator = new QFrame(this);
  separator->setFrameShape(QFrame::HLine);
  separator->setFrameShadow(QFrame::Sunken);
  separator->setGeometry(16, 255, 330, 2);

  DBRadioGroup1 = new TDBRadioGroup("Forward Method",
                                    {{"Keep Username", "0"}, {"Send to a list of users", "1"}},
                                    accounts, "ForwardMethod", ui, this);
  DBRadioGroup1->setGeometry(16, 272, 145, 73);

  DBCheckBox1 = new TDBCheckBox("Keep Messages On Server", accounts, "Pop3KeepMessages", ui, this);
  DBCheckBox1->setGeometry(16, 360, 153, 17);

  // The list sits over the blanks of this label, between "for" and "days.".
  PlaceLabel("for                              days.", 32, 384, this);
  DBComboBox1 = new TDBComboBox(KeepTimeItems(), accounts, "Pop3KeepTime", ui, this);
  DBComboBox1->setGeometry(56, 380, 73, kEditHeight);

  PlaceLabel("Send To", 192, 272, this);
  DBLookupListBox1 = new TDBLookupListBox(dm_in_out.dbSendAddresses, "EmailAddress", ui, this);
  DBLookupListBox1->setGeometry(192, 288, 153, 121);

  Button1 = PlaceButton("Add", 192, 416, this);
  Button2 = PlaceButton("Remove", 272, 416, this);
  Button4 = PlaceButton("OK", 264, 32, this);
  Button3 = PlaceButton("Cancel", 264, 64, this);

  QWidget* order[] = {DBEdit1,          DBEdit2, DBEdit3,       DBEdit5,     DBEdit6,
                      DBEdit4,          DBEdit7, DBRadioGroup1, DBCheckBox1, DBComboBox1,
                      DBLookupListBox1, Button1, Button2,       Button4,     Button3};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Button1, &QPushButton::clicked, this, &TfrmAccountDetails::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TfrmAccountDetails::Button2Click);
  connect(Button4, &QPushButton::clicked, this, &TfrmAccountDetails::OkClick);
  connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAccountDetails::OkClick() {
  // A value the focused box refuses keeps the dialog open with the focus in that box.
  if (CommitFocusedControl(this, ui_)) accept();
}

void TfrmAccountDetails::Button1Click() {
  if (!CommitFocusedControl(this, ui_)) return;
  const std::optional<QString> address =
      ui_.InputBox(this, kRecipientCaption, kRecipientPrompt, kRecipientMaxLength);
  if (!address) return;
  TMemTable& recipients = dm_in_out_.dbSendAddresses;
  RunGuarded(ui_, this, [&] {
    try {
      recipients.Append();
      recipients.FieldByName("EmailAddress").SetAsString(address->toStdString());
      recipients.Post();
    } catch (...) {
      // No half-made recipient row stays behind.
      recipients.Cancel();
      throw;
    }
  });
}

void TfrmAccountDetails::Button2Click() {
  if (!CommitFocusedControl(this, ui_)) return;
  TMemTable& recipients = dm_in_out_.dbSendAddresses;
  if (recipients.IsEmpty()) return;
  RunGuarded(ui_, this, [&] { recipients.Delete(); });
}

}  // namespace mailferry

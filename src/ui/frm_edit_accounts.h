// TfrmEditAccounts: the modal account list dialog - adds, edits and deletes accounts and edits the
// SMTP server, its port and the two global switches in place.
#pragma once

#include "settings/dm_in_out.h"
#include "ui/db_controls.h"
#include "ui/frm_account_details.h"
#include "ui/modal_ui.h"
#include "ui/window_look.h"

class QLabel;
class QPushButton;

namespace mailferry {

// Created once at start-up and reused; GUI thread only. Nothing it does writes a file.
class TfrmEditAccounts : public TClassicDialog {
  Q_OBJECT

 public:
  TfrmEditAccounts(TDmInOut& dm_in_out, ModalUi& ui, QWidget* parent = nullptr);

  // The account details dialog, created after this one at start-up.
  void SetDetailsDialog(TfrmAccountDetails* details) { details_ = details; }

  // Add: append an account, show it in the details dialog, post on OK, cancel otherwise.
  void Button1Click();
  // Edit: the current account in the details dialog; OK posts, anything else restores it.
  void Button2Click();
  // Delete the current account at once; its recipient rows stay.
  void Button3Click();

  QLabel* Label1;
  TDBLookupListBox* DBLookupListBox1;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QLabel* Label2;
  TDBEdit* DBEdit1;  // ExchangeServer
  QLabel* Label4;
  TDBEdit* DBEdit5;          // SMTPPort
  TDBCheckBox* DBCheckBox3;  // CheckAsService
  QPushButton* Button4;      // Close
  TDBCheckBox* DBCheckBox4;  // CheckLog

 private:
  // Shows the details dialog for the account row being edited or inserted and posts or cancels
  // the row by its result; a post that fails while the row is still being edited shows the error
  // and the dialog again.
  void ShowDetails();
  void SetRecipientFilter(int account_id);
  void CloseClick();

  TDmInOut& dm_in_out_;
  ModalUi& ui_;
  TfrmAccountDetails* details_ = nullptr;
};

}  // namespace mailferry

// TfrmAccountDetails: the modal dialog that edits one account (the current row of dbAccounts) and
// the list of its local recipients.
#pragma once

#include "settings/dm_in_out.h"
#include "ui/db_controls.h"
#include "ui/modal_ui.h"
#include "ui/window_look.h"

class QLabel;
class QPushButton;

namespace mailferry {

// Created once at start-up and reused; GUI thread only. The caller puts dbAccounts into edit or
// insert state and filters dbSendAddresses to the account before showing it, and posts or cancels
// the row by its result: OK (Accepted) or Cancel (Rejected, also for any other way of closing).
class TfrmAccountDetails : public TClassicDialog {
  Q_OBJECT

 public:
  TfrmAccountDetails(TDmInOut& dm_in_out, ModalUi& ui, QWidget* parent = nullptr);

  // Add a recipient: ask for the address, then append and post its row at once.
  void Button1Click();
  // Remove the current recipient at once.
  void Button2Click();

  TDBEdit* DBEdit1;  // AccountName
  TDBEdit* DBEdit2;  // Pop3Server
  TDBEdit* DBEdit3;  // Pop3Port
  TDBEdit* DBEdit5;  // Pop3UserName
  TDBEdit* DBEdit6;  // Pop3Password
  TDBEdit* DBEdit4;  // Pop3DomainName
  TDBEdit* DBEdit7;  // SMTPDomainName
  TDBRadioGroup* DBRadioGroup1;
  TDBCheckBox* DBCheckBox1;
  TDBComboBox* DBComboBox1;
  TDBLookupListBox* DBLookupListBox1;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button4;  // OK
  QPushButton* Button3;  // Cancel

 private:
  void OkClick();

  TDmInOut& dm_in_out_;
  ModalUi& ui_;
};

}  // namespace mailferry

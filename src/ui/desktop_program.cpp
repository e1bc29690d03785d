#include "ui/desktop_program.h"

#include <QApplication>

namespace mailferry {

TDesktopProgram::TDesktopProgram(DesktopPorts ports) {
  // The dial-up manager's polling timer and every later time stamp use these.
  SetProcessMainThread(&main_thread_);
  SetProcessLocaleFormats(&locale_formats_);

  dm_in_out_ = std::make_unique<TDmInOut>(ports.machine_store, ports.directories, ports.files,
                                          std::move(ports.ras));
  RunGuarded(ports.ui, nullptr, [this] { dm_in_out_->DataModuleCreate(); });

  // Scan runs report back through the event loop.
  ports.main_window.scan.main_thread = &main_thread_;
  frm_main_ = std::make_unique<TfrmMain>(*dm_in_out_, ports.machine_store, ports.ui,
                                         std::move(ports.main_window));
  RunGuarded(ports.ui, nullptr, [this] { frm_main_->FormCreate(); });
  frm_edit_accounts_ = std::make_unique<TfrmEditAccounts>(*dm_in_out_, ports.ui, frm_main_.get());
  frm_account_details_ =
      std::make_unique<TfrmAccountDetails>(*dm_in_out_, ports.ui, frm_edit_accounts_.get());
  frm_schedule_ = std::make_unique<TfrmSchedule>(*dm_in_out_, frm_main_->tmrAutoScan(), ports.ui,
                                                 frm_main_.get());
  frm_edit_accounts_->SetDetailsDialog(frm_account_details_.get());
  frm_main_->SetDialogs(frm_edit_accounts_.get(), frm_schedule_.get());
  QObject::connect(frm_main_.get(), &TfrmMain::Closed, QCoreApplication::instance(),
                   &QCoreApplication::quit, Qt::QueuedConnection);
}

TDesktopProgram::~TDesktopProgram() {
  // The dialogs are children of the windows that own them here; they go first, the window last.
  frm_schedule_.reset();
  frm_account_details_.reset();
  frm_edit_accounts_.reset();
  frm_main_.reset();
  dm_in_out_.reset();
  SetProcessLocaleFormats(nullptr);
  SetProcessMainThread(nullptr);
}

int TDesktopProgram::Run() {
  frm_main_->ShowAtStartUp();
  return QApplication::exec();
}

}  // namespace mailferry

// TDesktopProgram: the desktop program's objects, created in start-up order - the Qt ports, the
// settings module DmInOut, the main window and the three dialogs - and its event loop.
#pragma once

#include <memory>

#include "platform/directories.h"
#include "platform/file_replacer.h"
#include "platform/machine_store.h"
#include "settings/dm_in_out.h"
#include "ui/frm_account_details.h"
#include "ui/frm_edit_accounts.h"
#include "ui/frm_main.h"
#include "ui/frm_schedule.h"
#include "ui/modal_ui.h"
#include "ui/qt_locale_formats.h"
#include "ui/qt_main_thread.h"

namespace mailferry {

// What the program runs over; all must outlive it.
struct DesktopPorts {
  MachineStore& machine_store;
  const Directories& directories;
  FileReplacer& files;
  ModalUi& ui;
  MainWindowPorts main_window;
  // The dial-up manager of DmInOut; null for one over the system's platform.
  std::unique_ptr<TRasManager> ras = nullptr;
};

// Construct it on the GUI thread after the QApplication, once per process: it installs itself as
// the process's main thread and locale formats until it is destroyed. A settings file that fails
// to load is shown in a message box and start-up goes on.
class TDesktopProgram {
 public:
  explicit TDesktopProgram(DesktopPorts ports);
  ~TDesktopProgram();
  TDesktopProgram(const TDesktopProgram&) = delete;
  TDesktopProgram& operator=(const TDesktopProgram&) = delete;

  // Shows the tray icon (or the window) and runs the event loop until the main window closes.
  int Run();

  // Whether a scan run is still going on (after Run: the window closed during a run, which is
  // then abandoned where it stands; the process must end without destroying the program).
  bool ScanInProgress() const { return frm_main_->Scanning(); }

  QtMainThread& MainThreadPort() { return main_thread_; }
  TDmInOut& DmInOut() { return *dm_in_out_; }
  TfrmMain& frmMain() { return *frm_main_; }
  TfrmEditAccounts& frmEditAccounts() { return *frm_edit_accounts_; }
  TfrmAccountDetails& frmAccountDetails() { return *frm_account_details_; }
  TfrmSchedule& frmSchedule() { return *frm_schedule_; }

 private:
  QtMainThread main_thread_;
  QtLocaleFormats locale_formats_;
  std::unique_ptr<TDmInOut> dm_in_out_;
  std::unique_ptr<TfrmMain> frm_main_;
  std::unique_ptr<TfrmEditAccounts> frm_edit_accounts_;
  std::unique_ptr<TfrmAccountDetails> frm_account_details_;
  std::unique_ptr<TfrmSchedule> frm_schedule_;
};

}  // namespace mailferry

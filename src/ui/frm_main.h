// TfrmMain: the main window - a row of large buttons and a status line - and the notification-area
// icon with its menu, behind which the program lives.
#pragma once

#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/locale_formats.h"
#include "platform/machine_store.h"
#include "platform/main_thread.h"
#include "scanning/scan_controller.h"
#include "scanning/scan_environment.h"
#include "scanning/scan_view.h"
#include "settings/dm_in_out.h"
#include "transport/update_check.h"
#include "ui/modal_ui.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QToolButton;

namespace mailferry {

class TfrmEditAccounts;
class TfrmSchedule;

// What the main window works with besides the settings.
struct MainWindowPorts {
  // Whether the desktop has a notification area. Without one the window is shown at start-up and
  // minimizing only minimizes it.
  bool tray_available = true;
  // Where "Check for update" asks, and how it tells whether the machine is online (null: the
  // system's probe).
  UpdateService update_service = {};
  std::function<bool()> is_internet_connected = nullptr;
  // What scan runs reach; its main thread must be the GUI thread's event loop.
  ScanEnvironment scan = {};
  // The time stamps of the status line and the log; null: the process's formats.
  const LocaleFormats* formats = nullptr;
};

// GUI thread only. Closing the window (the Close button, "Exit", the title bar's close box) emits
// Closed, which ends the program's event loop. The scan controller lives in the window: its
// labels and buttons are the controller's display, and its message boxes the controller's.
class TfrmMain : public QWidget,
                 private ScanStatusDisplay,
                 private MessageBoxes,
                 private UpdateCheckUi {
  Q_OBJECT

 public:
  TfrmMain(TDmInOut& dm_in_out, MachineStore& machine_store, ModalUi& ui, MainWindowPorts ports,
           QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The dialogs the buttons open, created after the window at start-up.
  void SetDialogs(TfrmEditAccounts* edit_accounts, TfrmSchedule* schedule);

  // The window's creation: arms tmrAutoScan from the settings (a Schedule of 0 becomes 5).
  void FormCreate();
  // A tick of tmrAutoScan: a timed scan unless "Run As Service" is on.
  void tmrAutoScanTimer();

  // Start-up's last step before the event loop: the tray icon appears, or without a notification
  // area the window itself.
  void ShowAtStartUp();

  // The busy display: "Running..." and the four buttons disabled; and back.
  void DisableButtons();
  void EnableButtons();
  // Whether a scan run is in progress.
  bool Scanning() const;

  // A manual scan; its end shows the summary box.
  void butScanClick();
  void SpeedButton1Click();  // "Edit Accounts"
  void SpeedButton2Click();  // "Schedule"
  void ButCloseClick();      // saves, then closes

  // The update check, dialling first when offline and dialling is on. Only errors of dialling and
  // hanging up are shown; the check's own failures are silent.
  void Checkforupdate1Click();
  void Restore1Click();
  void Exit1Click();  // closes without saving

  // Left double-click toggles the window by the tray's own flag; other actions leave it alone.
  void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);

  // The tray's own shown/hidden flag for the window.
  bool TrayShown() const { return tray_shown_; }

  // Show the window: task bar entry back, restored from minimized, visible.
  void ShowTheWindow();
  // Hide the window: only the tray icon remains.
  void HideTheWindow();

  // The scheduler timer; the schedule dialog switches and re-times it.
  MainThreadTimer& tmrAutoScan();
  ScanController& Controller() { return *scan_controller_; }

  QToolButton* butScan;
  QToolButton* ButAccounts;
  QToolButton* ButSchedule;
  QToolButton* ButClose;
  QFrame* PnlBottom;
  QLabel* labLastRun;
  QLabel* labAccountsTested;
  QLabel* LabMessagesTransfered;

  QSystemTrayIcon* TrayIcon;
  QMenu* pmTrayMenu;
  QAction* Checkforupdate1;
  QAction* Restore1;
  QAction* N1;
  QAction* Exit1;

 signals:
  void Closed();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetLastRunText(const std::string& text) override;
  void SetAccountsText(const std::string& text) override;
  void SetMessagesText(const std::string& text) override;
  void SetButtonsEnabled(bool enabled) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void ShowLatestVersionMessage() override;
  void ShowUpdatePage(const std::string& url, const std::string& html) override;

  TDmInOut& dm_in_out_;
  ModalUi& ui_;
  const MainWindowPorts ports_;
  bool tray_shown_ = false;
  TfrmEditAccounts* frm_edit_accounts_ = nullptr;
  TfrmSchedule* frm_schedule_ = nullptr;
  std::unique_ptr<ScanController> scan_controller_;
};

}  // namespace mailferry

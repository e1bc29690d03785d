#include "ui/frm_main.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include "dialup/internet_probe.h"
#include "scanning/scan_texts.h"
#include "ui/frm_edit_accounts.h"
#include "ui/frm_schedule.h"
#include "ui/frm_show_update.h"
#include "ui/window_look.h"

namespace mailferry {
namespace {

constexpr int kClientWidth = 568;
constexpr int kClientHeight = 90;
constexpr int kStatusHeight = 20;

QToolButton* PlaceButton(const QString& caption, const QString& picture, int left,
                         QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(caption);
  button->setIcon(ProgramIcon(picture));
  button->setIconSize(QSize(32, 32));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setAutoRaise(true);
  button->setGeometry(left, 6, 105, 57);
  return button;
}

}  // namespace

TfrmMain::TfrmMain(TDmInOut& dm_in_out, MachineStore& machine_store, ModalUi& ui,
                   MainWindowPorts ports, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      dm_in_out_(dm_in_out),
      ui_(ui),
      ports_(std::move(ports)) {
  setWindowTitle(kApplicationTitle);
  setWindowIcon(ProgramIcon("mailferry"));
  SetUpFixedWindow(this, kClientWidth, kClientHeight);

  butScan = PlaceButton("Scan Mailboxes", "scan", 8, this);
  ButAccounts = PlaceButton("Edit Accounts", "accounts", 117, this);
  ButSchedule = PlaceButton("Schedule", "schedule", 226, this);
  ButClose = PlaceButton("Close", "close", 335, this);

  PnlBottom = new QFrame(this);
  PnlBottom->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PnlBottom->setGeometry(0, kClientHeight - kStatusHeight, kClientWidth, kStatusHeight);
  labLastRun = new QLabel(kNeverRunText, PnlBottom);
  labLastRun->setGeometry(6, 2, 290, 16);
  labAccountsTested = new QLabel(QString(kAccountsPrefix) + "0", PnlBottom);
  labAccountsTested->setGeometry(300, 2, 120, 16);
  LabMessagesTransfered = new QLabel(QString(kMessagesPrefix) + "0", PnlBottom);
  LabMessagesTransfered->setGeometry(430, 2, 130, 16);

  pmTrayMenu = new QMenu(this);
  Checkforupdate1 = pmTrayMenu->addAction("Check for update");
  Restore1 = pmTrayMenu->addAction("Restore");
  N1 = pmTrayMenu->addSeparator();
  Exit1 = pmTrayMenu->addAction("Exit");
  TrayIcon = new QSystemTrayIcon(ProgramIcon("mailferry"), this);
  TrayIcon->setContextMenu(pmTrayMenu);

  ScanStatusDisplay& display = *this;
  MessageBoxes& boxes = *this;
  scan_controller_ = std::make_unique<ScanController>(dm_in_out, machine_store, display, boxes,
                                                      ports_.scan, ports_.formats);

  connect(butScan, &QToolButton::clicked, this, &TfrmMain::butScanClick);
  connect(ButAccounts, &QToolButton::clicked, this, &TfrmMain::SpeedButton1Click);
  connect(ButSchedule, &QToolButton::clicked, this, &TfrmMain::SpeedButton2Click);
  connect(ButClose, &QToolButton::clicked, this, &TfrmMain::ButCloseClick);
  connect(Checkforupdate1, &QAction::triggered, this, &TfrmMain::Checkforupdate1Click);
  connect(Restore1, &QAction::triggered, this, &TfrmMain::Restore1Click);
  connect(Exit1, &QAction::triggered, this, &TfrmMain::Exit1Click);
  connect(TrayIcon, &QSystemTrayIcon::activated, this, &TfrmMain::TrayIconActivated);
}

// The controller goes first: its timer and a run's way back end before the labels do.
TfrmMain::~TfrmMain() { scan_controller_.reset(); }

void TfrmMain::SetDialogs(TfrmEditAccounts* edit_accounts, TfrmSchedule* schedule) {
  frm_edit_accounts_ = edit_accounts;
  frm_schedule_ = schedule;
}

void TfrmMain::FormCreate() { scan_controller_->FormCreate(); }

void TfrmMain::tmrAutoScanTimer() { scan_controller_->tmrAutoScanTimer(); }

MainThreadTimer& TfrmMain::tmrAutoScan() { return scan_controller_->tmrAutoScan(); }

bool TfrmMain::Scanning() const { return scan_controller_->Scanning(); }

void TfrmMain::ShowAtStartUp() {
  if (ports_.tray_available) {
    TrayIcon->show();
  } else {
    ShowTheWindow();
  }
}

void TfrmMain::DisableButtons() { scan_controller_->DisableButtons(); }

void TfrmMain::EnableButtons() { scan_controller_->EnableButtons(); }

void TfrmMain::butScanClick() { scan_controller_->butScanClick(); }

void TfrmMain::SetLastRunText(const std::string& text) {
  labLastRun->setText(QString::fromStdString(text));
}

void TfrmMain::SetAccountsText(const std::string& text) {
  labAccountsTested->setText(QString::fromStdString(text));
}

void TfrmMain::SetMessagesText(const std::string& text) {
  LabMessagesTransfered->setText(QString::fromStdString(text));
}

void TfrmMain::SetButtonsEnabled(bool enabled) {
  for (QToolButton* button : {butScan, ButAccounts, ButSchedule, ButClose}) {
    button->setEnabled(enabled);
  }
}

void TfrmMain::ShowInformation(const std::string& text) {
  ui_.ShowInformation(this, QString::fromStdString(text));
}

void TfrmMain::ShowError(const std::string& text) {
  ui_.ShowError(this, QString::fromStdString(text));
}

void TfrmMain::SpeedButton1Click() { ui_.ShowModal(*frm_edit_accounts_); }

void TfrmMain::SpeedButton2Click() { ui_.ShowModal(*frm_schedule_); }

void TfrmMain::ButCloseClick() {
  // A failed save keeps the window open, so no edit is lost unseen.
  if (RunGuarded(ui_, this, [this] { dm_in_out_.SaveAll(); })) close();
}

void TfrmMain::Checkforupdate1Click() {
  RunGuarded(ui_, this, [this] {
    const TMemTable& system = dm_in_out_.dbSystem;
    const bool ras_enabled = system.FieldByName("RASEnabled").AsBoolean();
    const std::string ras_connection = system.FieldByName("RASConnection").AsString();
    std::function<bool()> online = ports_.is_internet_connected;
    if (!online) online = [] { return IsInternetConnected(); };
    UpdateCheck check(*this, std::move(online), ports_.update_service);
    check.CheckWithDialUp(dm_in_out_.Ras(), ras_enabled, ras_connection);
  });
}

void TfrmMain::ShowLatestVersionMessage() { ui_.ShowInformation(this, kLatestVersionMessage); }

void TfrmMain::ShowUpdatePage(const std::string& url, const std::string& html) {
  TfrmShowUpdate window(this);
  window.Navigate(url, html);
  ui_.ShowModal(window);
}

void TfrmMain::Restore1Click() { ShowTheWindow(); }

void TfrmMain::Exit1Click() { close(); }

void TfrmMain::TrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::DoubleClick) return;
  tray_shown_ = !tray_shown_;
  if (tray_shown_) {
    ShowTheWindow();
  } else {
    HideTheWindow();
  }
}

void TfrmMain::ShowTheWindow() {
  showNormal();
  raise();
  activateWindow();
}

void TfrmMain::HideTheWindow() { hide(); }

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && ports_.tray_available && isMinimized()) {
    tray_shown_ = false;
    // Hiding from inside the state change would confuse the window manager; right after it.
    QTimer::singleShot(0, this, &TfrmMain::HideTheWindow);
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  TrayIcon->hide();
  emit Closed();
}

}  // namespace mailferry

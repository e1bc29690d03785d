#include "ui/frm_schedule.h"

#include <QGroupBox>
#include <QPushButton>

#include "scanning/scan_controller.h"
#include "settings/schedule_fix_up.h"
#include "ui/window_look.h"

namespace mailferry {

TfrmSchedule::TfrmSchedule(TDmInOut& dm_in_out, MainThreadTimer& tmr_auto_scan, ModalUi& ui,
                           QWidget* parent)
    : TClassicDialog(false, parent), dm_in_out_(dm_in_out), tmr_auto_scan_(tmr_auto_scan), ui_(ui) {
  setWindowTitle("Schedule Pop3 Access");
  SetUpFixedWindow(this, 343, 151);
  TMemTable& system = dm_in_out.dbSystem;

  scheduler_group_ = new QGroupBox("Scheduler", this);
  scheduler_group_->setGeometry(8, 8, 161, 105);
  cbxSchedule = new TDBCheckBox("Scheduler Enabled", system, "CheckSchedule", ui, scheduler_group_);
  cbxSchedule->setGeometry(8, 24, 121, 17);
  PlaceLabel("Run every", 8, 48, scheduler_group_);
  DBSpinEdit1 = new TDBSpinEdit(kMinScheduleMinutes, kMaxScheduleMinutes, system, "Schedule", ui,
                                scheduler_group_);
  DBSpinEdit1->setGeometry(16, 68, 73, 21);
  PlaceLabel("Minutes", 96, 72, scheduler_group_);

  ras_group_ = new QGroupBox("RAS Settings", this);
  ras_group_->setGeometry(176, 8, 161, 105);
  dial_on_demand_ = new TDBCheckBox("Dial On Demand", system, "RASEnabled", ui, ras_group_);
  dial_on_demand_->setGeometry(8, 24, 113, 17);
  PlaceLabel("Connection:", 8, 48, ras_group_);
  cbRasList = new TDBComboEdit(system, "RASConnection", ui, ras_group_);
  cbRasList->setGeometry(8, 68, 145, 21);

  close_button_ = new QPushButton("Close", this);
  close_button_->setGeometry(256, 120, 75, 25);
  close_button_->setAutoDefault(false);
  // A click leaves the focus in the box, whose pending value the close then writes.
  close_button_->setFocusPolicy(Qt::TabFocus);

  QWidget* order[] = {cbxSchedule, DBSpinEdit1, dial_on_demand_, cbRasList, close_button_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // The binding has made the change pending before these run.
  connect(cbxSchedule, &QCheckBox::clicked, this, &TfrmSchedule::ChangeSchedule);
  connect(DBSpinEdit1, &TDBSpinEdit::ValueEdited, this, &TfrmSchedule::ChangeSchedule);
  connect(close_button_, &QPushButton::clicked, this, &TfrmSchedule::CloseClick);
}

void TfrmSchedule::FormShow() {
  TRasManager& ras = dm_in_out_.Ras();
  std::vector<std::string> names;
  for (int i = 0; i < ras.EntryCount(); ++i) names.push_back(ras.EntryName(i));
  cbRasList->SetNames(names);
}

void TfrmSchedule::ChangeSchedule() {
  RunGuarded(ui_, this, [this] {
    const bool enabled = cbxSchedule->isChecked();
    int minutes = DBSpinEdit1->Value().value_or(0);
    if (minutes == 0) {
      TMemTable& system = dm_in_out_.dbSystem;
      system.Edit();
      system.FieldByName("Schedule").SetAsInteger(kDefaultScheduleMinutes);
      // The emptied box's pending change gives way to the 5 just stored, also when posting.
      DBSpinEdit1->Link().Reset();
      system.Post();
      minutes = kDefaultScheduleMinutes;
    }
    tmr_auto_scan_.SetInterval(ScanController::ScheduleInterval(minutes));
    tmr_auto_scan_.SetEnabled(enabled);
  });
}

void TfrmSchedule::CloseClick() {
  if (CommitFocusedControl(this, ui_)) accept();
}

void TfrmSchedule::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  RunGuarded(ui_, this, [this] { FormShow(); });
}

}  // namespace mailferry

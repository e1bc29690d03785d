// TfrmSchedule: the modal schedule dialog - when timed scans run (applied to the main window's
// scheduler timer at once) and whether and how the machine dials out first.
#pragma once

#include "platform/main_thread.h"
#include "settings/dm_in_out.h"
#include "ui/db_controls.h"
#include "ui/modal_ui.h"
#include "ui/window_look.h"

class QGroupBox;
class QPushButton;

namespace mailferry {

inline constexpr int kMinScheduleMinutes = 1;
inline constexpr int kMaxScheduleMinutes = 10080;  // one week

// Created once at start-up and reused; GUI thread only. The timer is the main window's
// tmrAutoScan and must outlive the dialog.
class TfrmSchedule : public TClassicDialog {
  Q_OBJECT

 public:
  TfrmSchedule(TDmInOut& dm_in_out, MainThreadTimer& tmr_auto_scan, ModalUi& ui,
               QWidget* parent = nullptr);

  // Fills the connection list with the dial-up manager's entry names; runs at every show.
  void FormShow();

  // Applies "Scheduler Enabled" and the minutes box to tmrAutoScan; an empty box (or 0) stores,
  // posts and shows 5 minutes first.
  void ChangeSchedule();

  TDBCheckBox* cbxSchedule;
  TDBSpinEdit* DBSpinEdit1;
  TDBComboEdit* cbRasList;

  QGroupBox* scheduler_group_;
  QGroupBox* ras_group_;
  TDBCheckBox* dial_on_demand_;
  QPushButton* close_button_;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CloseClick();

  TDmInOut& dm_in_out_;
  MainThreadTimer& tmr_auto_scan_;
  ModalUi& ui_;
};

}  // namespace mailferry

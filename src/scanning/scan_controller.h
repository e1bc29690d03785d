// The scan controller of the main window: decides when a scan runs (the scheduler timer or the
// "Scan Mailboxes" button), keeps at most one run at a time, saves the settings before each run,
// starts the run's worker and shows its result when the worker reports back.
//
// The desktop program's main window owns one and forwards its events to it (FormCreate,
// tmrAutoScanTimer through the timer made here, butScanClick); mailferryctl drives it the same way.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/locale_formats.h"
#include "platform/machine_store.h"
#include "platform/main_thread.h"
#include "scanning/activity_log.h"
#include "scanning/scan_environment.h"
#include "scanning/scan_view.h"
#include "scanning/thread_scan_mailboxes.h"
#include "settings/dm_in_out.h"

namespace mailferry {

// Created, used and destroyed on the main thread, which owns dm, the display and the boxes; all
// of them, and the environment's ports, must outlive the controller. The run's completion
// (ScanFinished) arrives through the environment's MainThread with a blocking call from the
// worker, so with an event loop it runs on the main thread between other events.
class ScanController {
 public:
  // formats: the time-stamp formats of the log and the status line; nullptr uses the process's
  // formats at each use.
  ScanController(TDmInOut& dm, MachineStore& machine_store, ScanStatusDisplay& display,
                 MessageBoxes& boxes, ScanEnvironment environment = {},
                 const LocaleFormats* formats = nullptr);
  // A run still going on is let go: it finishes and frees itself, and its completion no longer
  // reaches this controller. With a main thread that has no event loop, call WaitForRun first.
  ~ScanController();
  ScanController(const ScanController&) = delete;
  ScanController& operator=(const ScanController&) = delete;

  // --- Event handlers -----------------------------------------------------------------------
  // The window's creation: arms the scheduler from the settings. A stored Schedule of 0 becomes
  // 5 (the system row is created with its defaults when missing; the next SaveAll writes it).
  // The timer is on when CheckSchedule is. An error of the settings propagates, timer off.
  void FormCreate();
  // A tick of tmrAutoScan: the timer off; unless CheckAsService, StartScan(false) and the log line
  // "Waiting for %d minutes before next request." (written even when a run was already going
  // on); the timer on again (a full interval from now), also after an error, which is then shown
  // in an error box.
  void tmrAutoScanTimer();
  // The "Scan Mailboxes" button: StartScan(true); an error is shown in an error box.
  void butScanClick();

  // --- Operations ---------------------------------------------------------------------------
  // Starts one run unless one is going on: SaveAll (its error propagates and nothing starts),
  // the busy display, and a worker with the data directory stored for the machine (or, when none
  // is stored, the one the settings use), the interactive flag, the log sink when CheckLog is on
  // now, and ScanFinished as its completion. Raises what SaveAll or the thread start raises; the
  // controller is then idle again with its buttons enabled.
  void StartScan(bool interactive);
  // The completion, on the main thread while the worker waits: the status texts, the summary box
  // of a manual run, idle again, the buttons back.
  void ScanFinished(TThreadScanMailBoxes& worker);
  // "Running..." and the buttons off; the buttons on.
  void DisableButtons();
  void EnableButtons();
  // Appends a line to the activity log of DmInOut's data directory when CheckLog is on now.
  void WriteLog(const std::string& text);

  // Waits until the last run's thread has ended (after its completion). For a program whose main
  // thread has no event loop; with a loop the completion needs the main thread, so never from it.
  void WaitForRun();

  bool Scanning() const { return scanning_; }
  // The last run started (finished once WaitForRun returned); nullptr before the first.
  const TThreadScanMailBoxes* LastRun() const { return worker_.get(); }
  // The scheduler timer; the schedule dialog switches and re-times it.
  MainThreadTimer& tmrAutoScan() { return *timer_; }
  // The main window's log writer, which is also the sink of the runs it starts.
  const ActivityLog& Log() const { return *log_; }

  // "There were %d new email messages in %d mailboxes." with the two counters.
  static std::string SummaryLine(int messages_found, int accounts_checked);
  // The timer interval of a schedule in minutes, in milliseconds, held within the timer's range.
  static int ScheduleInterval(int minutes);

 private:
  // The completion's way back; cut when the controller goes while a run is on.
  struct Link {
    std::atomic<ScanController*> controller;
  };

  TDmInOut& dm_;
  MachineStore& machine_store_;
  ScanStatusDisplay& display_;
  MessageBoxes& boxes_;
  ScanEnvironment env_;
  std::shared_ptr<const ActivityLog> log_;
  std::unique_ptr<MainThreadTimer> timer_;
  std::shared_ptr<Link> link_;
  bool scanning_ = false;
  std::string last_run_text_;
  // The last worker started; kept until the next start so that its thread can be joined.
  std::shared_ptr<TThreadScanMailBoxes> worker_;
};

}  // namespace mailferry

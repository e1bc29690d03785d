#include "scanning/scan_controller.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "scanning/scan_texts.h"
#include "settings/schedule_fix_up.h"

namespace mailferry {

ScanController::ScanController(TDmInOut& dm, MachineStore& machine_store,
                               ScanStatusDisplay& display, MessageBoxes& boxes,
                               ScanEnvironment environment, const LocaleFormats* formats)
    : dm_(dm),
      machine_store_(machine_store),
      display_(display),
      boxes_(boxes),
      env_(environment),
      log_(std::make_shared<ActivityLog>(*environment.clock, *environment.files, formats)),
      link_(std::make_shared<Link>()),
      last_run_text_(kNeverRunText) {
  link_->controller.store(this);
  timer_ = env_.main_thread->CreateTimer(ScheduleInterval(kDefaultScheduleMinutes),
                                         [this] { tmrAutoScanTimer(); });
}

ScanController::~ScanController() {
  link_->controller.store(nullptr);
  timer_.reset();
  // A worker still running holds itself and frees itself when done; a finished one is joined.
  if (worker_ && !scanning_) worker_->WaitFor();
  worker_.reset();
}

int ScanController::ScheduleInterval(int minutes) {
  constexpr std::int64_t kMillisecondsPerMinute = 60000;
  const std::int64_t interval = std::int64_t{minutes} * kMillisecondsPerMinute;
  return static_cast<int>(std::clamp<std::int64_t>(interval, 0, std::numeric_limits<int>::max()));
}

std::string ScanController::SummaryLine(int messages_found, int accounts_checked) {
  return FormatText(kSummaryFormat,
                    {std::to_string(messages_found), std::to_string(accounts_checked)});
}

void ScanController::FormCreate() {
  const bool enabled = dm_.dbSystem.FieldByName("CheckSchedule").AsBoolean();
  const int minutes = FixUpSchedule(dm_.dbSystem);
  timer_->SetInterval(ScheduleInterval(minutes));
  timer_->SetEnabled(enabled);
}

void ScanController::tmrAutoScanTimer() {
  timer_->SetEnabled(false);
  try {
    if (!dm_.dbSystem.FieldByName("CheckAsService").AsBoolean()) {
      StartScan(false);
      WriteLog(FormatText(kWaitingLogFormat,
                          {std::to_string(dm_.dbSystem.FieldByName("Schedule").AsInteger())}));
    }
  } catch (const std::exception& error) {
    timer_->SetEnabled(true);
    boxes_.ShowError(error.what());
    return;
  }
  timer_->SetEnabled(true);
}

void ScanController::butScanClick() {
  try {
    StartScan(true);
  } catch (const std::exception& error) {
    boxes_.ShowError(error.what());
  }
}

void ScanController::StartScan(bool interactive) {
  if (scanning_) return;
  dm_.SaveAll();
  scanning_ = true;
  DisableButtons();
  try {
    // The previous run's thread has ended with its completion, or ends right after it.
    if (worker_) worker_->WaitFor();
    worker_.reset();
    auto worker = std::make_shared<TThreadScanMailBoxes>(env_);
    // The machine store names the run's data directory; when it holds none (it could not be
    // written at first start) the run reads the files SaveAll has just written.
    std::string data_dir = ReadDataDir(machine_store_);
    if (data_dir.empty()) data_dir = dm_.DataDir();
    worker->SetDataDir(std::move(data_dir));
    worker->SetInteractive(interactive);
    worker->SetOnTerminate([link = link_](TThreadScanMailBoxes& finished) {
      if (ScanController* controller = link->controller.load()) controller->ScanFinished(finished);
    });
    if (dm_.dbSystem.FieldByName("CheckLog").AsBoolean()) worker->SetLogSink(log_);
    worker->Start();
    worker_ = std::move(worker);
  } catch (...) {
    scanning_ = false;
    display_.SetLastRunText(last_run_text_);
    EnableButtons();
    throw;
  }
}

void ScanController::ScanFinished(TThreadScanMailBoxes& worker) {
  last_run_text_ = kLastRunPrefix + log_->TimeStampNow();
  display_.SetLastRunText(last_run_text_);
  display_.SetAccountsText(kAccountsPrefix + std::to_string(worker.AccountsChecked()));
  display_.SetMessagesText(kMessagesPrefix + std::to_string(worker.MessagesFound()));
  if (worker.Interactive()) {
    boxes_.ShowInformation(kSummaryHeading +
                           SummaryLine(worker.MessagesFound(), worker.AccountsChecked()));
  }
  scanning_ = false;
  EnableButtons();
}

void ScanController::DisableButtons() {
  display_.SetLastRunText(kRunningText);
  display_.SetButtonsEnabled(false);
}

void ScanController::EnableButtons() { display_.SetButtonsEnabled(true); }

void ScanController::WriteLog(const std::string& text) {
  if (dm_.dbSystem.FieldByName("CheckLog").AsBoolean()) log_->Append(dm_.DataDir(), text);
}

void ScanController::WaitForRun() {
  if (worker_) worker_->WaitFor();
}

}  // namespace mailferry

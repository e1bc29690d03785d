// What the scan controller shows: the main window's status labels and buttons, and modal message
// boxes. The desktop program implements both with its widgets; a headless program with plain
// records.
//
// Called on the main thread only (with a main thread that has no event loop: on the run's thread
// while the thread that started the run waits). The controller does not own them.
#pragma once

#include <string>

namespace mailferry {

class ScanStatusDisplay {
 public:
  virtual ~ScanStatusDisplay() = default;

  // labLastRun: "Last Run: Never Run" at first, "Running..." during a run, then "Last Run: "
  // and the time stamp of the run's end.
  virtual void SetLastRunText(const std::string& text) = 0;
  // labAccountsTested: "Accounts: " and the accounts checked by the last run.
  virtual void SetAccountsText(const std::string& text) = 0;
  // LabMessagesTransfered: "Messages: " and the messages taken in hand by the last run.
  virtual void SetMessagesText(const std::string& text) = 0;
  // butScan, ButAccounts, ButSchedule and ButClose together: off during a run, on again after.
  virtual void SetButtonsEnabled(bool enabled) = 0;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;

  // A modal box with the information icon and one OK button; returns when the user closed it.
  virtual void ShowInformation(const std::string& text) = 0;
  // A modal box with the error icon and one OK button, for an error that ended a handler;
  // returns when the user closed it.
  virtual void ShowError(const std::string& text) = 0;
};

}  // namespace mailferry

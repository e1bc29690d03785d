// TThreadScanMailBoxes: one scan run on a thread of its own - a private copy of the settings from
// the table files, dial-up when the machine is offline, every account's mailbox walked from the
// highest message number down, each message forwarded, then deleted or kept - and its completion
// handed to the main thread with a blocking call.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/no_loop_main_thread.h"
#include "scanning/activity_log.h"
#include "scanning/forwarded_ids.h"
#include "scanning/scan_environment.h"

namespace mailferry {

class TDmScan;
class TMfMessage;
class TMfPOP3;

// Created on the main thread and given its members there; from Start on it belongs to its own
// thread until its completion handler has returned. Always owned through a shared_ptr: the
// thread holds a reference until it ends, so a worker whose owner let go frees itself when its
// run is over.
class TThreadScanMailBoxes : public std::enable_shared_from_this<TThreadScanMailBoxes> {
 public:
  // Runs on the main thread, through the environment's MainThread, while the worker waits.
  using CompletionHandler = std::function<void(TThreadScanMailBoxes& worker)>;

  explicit TThreadScanMailBoxes(ScanEnvironment environment = {});
  // Waits for the run's thread to end; on that thread itself (the last reference was the
  // thread's own) it lets the thread end on its own.
  ~TThreadScanMailBoxes();
  TThreadScanMailBoxes(const TThreadScanMailBoxes&) = delete;
  TThreadScanMailBoxes& operator=(const TThreadScanMailBoxes&) = delete;

  // --- Set before Start ---------------------------------------------------------------------
  // The data directory the run loads the table files from and logs into.
  const std::string& DataDir() const { return data_dir_; }
  void SetDataDir(std::string data_dir) { data_dir_ = std::move(data_dir); }
  // A manual run (its completion shows the summary).
  bool Interactive() const { return interactive_; }
  void SetInteractive(bool interactive) { interactive_ = interactive; }
  // Where Log writes; none drops the lines. The sink is shared so that it outlives a window
  // that closes while the run goes on.
  void SetLogSink(std::shared_ptr<const ActivityLog> sink) { log_sink_ = std::move(sink); }
  void SetOnTerminate(CompletionHandler handler) { on_terminate_ = std::move(handler); }

  // Starts the run on a new thread: the body, then the completion handler on the main thread.
  // Raises std::system_error when no thread can be created (nothing has run then).
  void Start();
  // Waits until the run's thread has ended. Not from that thread, and not from the main
  // thread's event handlers while the completion still needs the main thread.
  void WaitFor();

  // --- Read by the completion handler (the body has ended by then) --------------------------
  int MessagesFound() const { return messages_found_; }      // messages taken in hand
  int AccountsChecked() const { return accounts_checked_; }  // account rows visited
  // The error that ended the body early (a table file missing or unreadable), if any; the run
  // itself drops it, as it always has, but a headless caller can report it.
  const std::optional<std::string>& FatalError() const { return fatal_error_; }
  // The error of every account whose conversation failed, "AccountName: text", in run order.
  const std::vector<std::string>& AccountErrors() const { return account_errors_; }

  // --- The run, on the worker thread --------------------------------------------------------
  // The body: counters to 0, the settings loaded into the run's own TDmScan, the dial-up steps
  // around ScanAccounts, the tables closed, then the log's result line. An error in loading or
  // dial-up ends it (the module is freed, the result line not written) and propagates.
  void Execute();
  // The per-account loop; every error of one account is logged and the next account follows.
  void ScanAccounts();
  // Whether a retrieved message is to be forwarded: not when it was forwarded from this account
  // before (by its unique id).
  bool AcceptMessage(const TMfMessage& message);
  // Forwards the message of the account: the marker, the rewrite and one SMTP connection. The
  // message's id is recorded as forwarded once the SMTP server accepted it. A message with the
  // marker is not sent. Errors propagate (EMfMessageRefused for one that belongs to the message).
  void ForwardMessage(int accountId, TMfMessage& message);
  // Appends a line to the log of the run's data directory when the run has a sink.
  void Log(const std::string& text);

 private:
  void Run();
  // Processes message k of the open conversation; false when it was not forwarded because of
  // a failure of its own (it stays on the server).
  bool ProcessMessage(int k);
  void LogNotForwarded(int k, const std::string& error_text);

  ScanEnvironment env_;
  std::string data_dir_;
  bool interactive_ = false;
  std::shared_ptr<const ActivityLog> log_sink_;
  CompletionHandler on_terminate_;
  std::thread thread_;

  int messages_found_ = 0;
  int accounts_checked_ = 0;
  std::optional<std::string> fatal_error_;
  std::vector<std::string> account_errors_;

  // The run's own event-loop-less main thread: its dial-up manager's timer never ticks.
  NoLoopMainThread worker_main_thread_;
  // Alive while the body runs.
  TDmScan* dm_ = nullptr;
  TMfPOP3* pop3_ = nullptr;
  TMfMessage* message_ = nullptr;
  std::unique_ptr<ForwardedIds> forwarded_ids_;
  // The account and message in hand.
  int account_id_ = 0;
  std::string account_name_;
  std::map<int, std::string> unique_ids_;  // empty when the server lists none
  std::string message_id_;
};

// One scan of the settings files in data_dir, run on its worker thread to its end, for callers
// without an event loop (benchmarks, end-to-end tests): the environment's main thread is replaced
// by one that runs the completion at once, and the call returns the finished worker. Lines go to
// log_sink when one is given. Settings are not saved first (see ScanController for that).
std::shared_ptr<TThreadScanMailBoxes> RunScanToEnd(const std::string& data_dir,
                                                   ScanEnvironment environment,
                                                   std::shared_ptr<const ActivityLog> log_sink);

}  // namespace mailferry

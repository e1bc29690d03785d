// A Mailferry data directory driven through mailferryctl as a user would drive it: settings made
// by its commands, scans run by `mailferryctl scan`, the activity log read back. Test support only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace mailferry::testing {

class MailferryData {
 public:
  // A fresh data directory with the three settings files, forwarding to 127.0.0.1:`smtp_port`
  // with the activity log on.
  explicit MailferryData(int smtp_port);

  const std::string& path() const { return path_; }

  // Runs mailferryctl --data-dir DIR args... and returns what it printed on standard output;
  // raises std::runtime_error with its error output when it exits with a failure.
  std::string Ctl(const std::vector<std::string>& args) const;

  // Adds an account from FIELD=VALUE texts and returns its AccountID.
  int AddAccount(const std::vector<std::string>& fields) const;
  void AddRecipient(int account_id, const std::string& address) const;

  // One `mailferryctl scan`, however it ends.
  ProgramResult Scan() const;

  // The texts of the activity log's lines, time stamps removed; empty without a log.
  std::vector<std::string> LogTexts() const;

 private:
  TempDir dir_;
  std::string path_;
};

// The summary line `mailferryctl scan` prints.
std::string ScanSummary(int messages, int mailboxes);

}  // namespace mailferry::testing

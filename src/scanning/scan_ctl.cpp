#include "scanning/scan_ctl.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/mf_exception.h"
#include "scanning/message_preview.h"
#include "scanning/scan_controller.h"
#include "scanning/scan_texts.h"

namespace mailferry {
namespace {

// Nothing to show without a window.
class NoDisplay : public ScanStatusDisplay {
 public:
  void SetLastRunText(const std::string&) override {}
  void SetAccountsText(const std::string&) override {}
  void SetMessagesText(const std::string&) override {}
  void SetButtonsEnabled(bool) override {}
};

// The boxes' texts are kept; the command prints its own summary line.
class RecordedBoxes : public MessageBoxes {
 public:
  void ShowInformation(const std::string& text) override { information = text; }
  void ShowError(const std::string& text) override { error = text; }
  std::string information;
  std::string error;
};

int ParseAccountId(const std::string& text) {
  std::size_t used = 0;
  int id = 0;
  try {
    id = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw EMfException("Not a valid AccountID: " + text);
  return id;
}

std::string ReadWholeFile(const std::string& path) {
  std::error_code ec;
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path, ec))
    throw EMfException("Cannot open file " + path);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EMfException("Cannot open file " + path);
  return content;
}

}  // namespace

int RunScanCommand(TDmInOut& dm, MachineStore& machine_store, const ScanEnvironment& environment,
                   std::ostream& out, std::ostream& err) {
  NoDisplay display;
  RecordedBoxes boxes;
  ScanController controller(dm, machine_store, display, boxes, environment);
  try {
    controller.FormCreate();
    controller.StartScan(true);
  } catch (const std::exception& error) {
    err << error.what() << '\n';
    return 1;
  }
  controller.WaitForRun();
  const TThreadScanMailBoxes& run = *controller.LastRun();
  for (const std::string& failure : run.AccountErrors()) {
    err << kErrorWhileConnectingLog << failure << '\n';
  }
  if (run.FatalError()) {
    err << "Scan ended early: " << *run.FatalError() << '\n';
    return 1;
  }
  out << ScanController::SummaryLine(run.MessagesFound(), run.AccountsChecked()) << '\n';
  out.flush();
  return 0;
}

void RunPreviewCommand(TDmInOut& dm, const std::vector<std::string>& args,
                       const ScanEnvironment& environment, std::ostream& out) {
  std::string account_text;
  std::string file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--account" && i + 1 < args.size()) {
      account_text = args[++i];
    } else if (args[i].rfind("--account=", 0) == 0) {
      account_text = args[i].substr(10);
    } else if (file.empty() && !args[i].empty() && args[i][0] != '-') {
      file = args[i];
    } else {
      account_text.clear();
      break;
    }
  }
  if (account_text.empty() || file.empty()) {
    throw EMfException(
        "Usage: mailferryctl preview --account ID FILE\nRun mailferryctl --help for the usage.");
  }
  const int account_id = ParseAccountId(account_text);
  bool found = false;
  for (dm.dbAccounts.First(); !dm.dbAccounts.Eof(); dm.dbAccounts.Next()) {
    if (dm.dbAccounts.FieldByName("AccountID").AsInteger() == account_id) {
      found = true;
      break;
    }
  }
  if (!found) throw EMfException("No account with AccountID " + std::to_string(account_id));
  const ForwardingRules rules = ReadForwardingRules(dm.dbAccounts, dm.dbSendAddresses);
  const ForwardingPreview preview =
      PreviewForwarding(ReadWholeFile(file), rules, environment.message);
  if (preview.forwarded) {
    out << preview.transaction;
  } else {
    out << "Not forwarded: " << preview.reason << '\n';
  }
  out.flush();
}

}  // namespace mailferry

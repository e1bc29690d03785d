#include "settings/mailferry_ctl.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>
#include <sstream>
#include <string_view>

#include "common/mf_exception.h"
#include "scanning/scan_ctl.h"
#include "settings/dm_in_out.h"
#include "settings/schedule_fix_up.h"
#include "settings/staged_changes.h"

namespace mailferry {

const char* const kMailferryCtlUsage =
    "Usage: mailferryctl [--data-dir DIR] COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  init                           load or create the three table files, as at first start\n"
    "  show                           print accounts, their recipients and the system row\n"
    "  system set FIELD=VALUE...      edit the system row, save\n"
    "  account add FIELD=VALUE...     add an account, print its AccountID, save\n"
    "  account set ID FIELD=VALUE...  edit the account ID, save\n"
    "  account delete ID              delete the account ID (its recipients stay), save\n"
    "  recipient add ID ADDRESS       add a recipient to the account ID, print its Key, save\n"
    "  recipient delete KEY           delete the recipient KEY, save\n"
    "  scan                           save the settings and run one scan as the Scan Mailboxes\n"
    "                                 button does; print the summary line\n"
    "  preview --account ID FILE      print the SMTP transaction that forwarding the message in\n"
    "                                 FILE from the account ID would send\n"
    "\n"
    "Options:\n"
    "  --data-dir DIR  use DIR as the data directory; the machine's stored data directory is\n"
    "                  then neither read nor written\n"
    "  --help          print this usage\n";

namespace {

// The data directory given on the command line, standing in for the machine store.
class GivenDataDir : public MachineStore {
 public:
  explicit GivenDataDir(std::string dir) : dir_(std::move(dir)) {}
  std::string Read() const override { return dir_; }
  void Write(const std::string&) override {}

 private:
  std::string dir_;
};

[[noreturn]] void Fail(const std::string& message) { throw EMfException(message); }

void FailUsage(const std::string& message) {
  Fail(message + "\nRun mailferryctl --help for the usage.");
}

// An identifier given on the command line: an optional minus and up to ten digits, within 32 bits.
int ParseNumber(std::string_view text, const char* what) {
  const std::string_view digits = !text.empty() && text[0] == '-' ? text.substr(1) : text;
  bool valid = !digits.empty() && digits.size() <= 10;
  std::int64_t value = 0;
  for (char c : digits) {
    valid = valid && c >= '0' && c <= '9';
    if (valid) value = value * 10 + (c - '0');
  }
  if (digits.size() != text.size()) value = -value;
  if (!valid || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max()) {
    Fail(std::string("Not a valid ") + what + ": " + std::string(text));
  }
  return static_cast<int>(value);
}

// Identifiers that Mailferry gives out itself; assigning them by hand would break the numbering.
bool IsNumberingField(std::string_view table, std::string_view field) {
  const auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  };
  if (table == "dbAccounts") return same(field, "AccountID");
  return same(field, "Key") || same(field, "MaxAccountID") || same(field, "MaxSendAddressID");
}

// Assigns FIELD=VALUE arguments to the row being edited, as the bound controls assign text.
void Assign(TMemTable& table, const std::vector<std::string>& assignments, std::size_t from) {
  for (std::size_t i = from; i < assignments.size(); ++i) {
    const std::string& assignment = assignments[i];
    const auto equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
      FailUsage("Expected FIELD=VALUE, got '" + assignment + "'");
    }
    const std::string name = assignment.substr(0, equals);
    TField& field = table.FieldByName(name);
    if (IsNumberingField(table.Name(), field.FieldName())) {
      Fail("Field '" + field.FieldName() + "' is numbered by Mailferry and cannot be set");
    }
    field.SetAsString(std::string_view(assignment).substr(equals + 1));
  }
}

// Makes the account with this AccountID the current row of dbAccounts.
void LocateAccount(TDmInOut& dm, int account_id) {
  for (dm.dbAccounts.First(); !dm.dbAccounts.Eof(); dm.dbAccounts.Next()) {
    if (dm.dbAccounts.FieldByName("AccountID").AsInteger() == account_id) return;
  }
  Fail("No account with AccountID " + std::to_string(account_id));
}

void LocateRecipient(TDmInOut& dm, int key) {
  for (dm.dbSendAddresses.First(); !dm.dbSendAddresses.Eof(); dm.dbSendAddresses.Next()) {
    if (dm.dbSendAddresses.FieldByName("Key").AsInteger() == key) return;
  }
  Fail("No recipient with Key " + std::to_string(key));
}

void PrintRow(std::ostream& out, const TMemTable& table) {
  for (std::size_t i = 0; i < table.FieldCount(); ++i) {
    const TField& field = table.Fields(i);
    std::string value = field.AsString();
    if (field.FieldName() == "Pop3Password" && !value.empty()) value = "***";
    out << "  " << field.FieldName() << '=' << value << '\n';
  }
}

void Show(TDmInOut& dm, std::ostream& out) {
  TMemTable& accounts = dm.dbAccounts;
  TMemTable& recipients = dm.dbSendAddresses;
  std::vector<int> account_ids;
  for (accounts.First(); !accounts.Eof(); accounts.Next()) {
    const int id = accounts.FieldByName("AccountID").AsInteger();
    account_ids.push_back(id);
    out << "account " << id << '\n';
    PrintRow(out, accounts);
    // The account's recipients, through the filter the account dialog uses.
    recipients.SetFiltered(false);
    recipients.SetFilter("AccountID=" + std::to_string(id));
    recipients.SetFiltered(true);
    for (recipients.First(); !recipients.Eof(); recipients.Next()) {
      out << "  recipient " << recipients.FieldByName("Key").AsString() << ' '
          << recipients.FieldByName("EmailAddress").AsString() << '\n';
    }
    recipients.SetFiltered(false);
  }
  // Recipient rows outlive a deleted account; they are listed so that nothing stays hidden.
  bool header = false;
  for (recipients.First(); !recipients.Eof(); recipients.Next()) {
    const int owner = recipients.FieldByName("AccountID").AsInteger();
    if (std::find(account_ids.begin(), account_ids.end(), owner) != account_ids.end()) continue;
    if (!header) out << "recipients of no account\n";
    header = true;
    out << "  recipient " << recipients.FieldByName("Key").AsString() << " (AccountID " << owner
        << ") " << recipients.FieldByName("EmailAddress").AsString() << '\n';
  }
  TMemTable& system = dm.dbSystem;
  system.First();
  if (system.IsEmpty()) {
    out << "system (no row yet)\n";
  } else {
    out << "system\n";
    PrintRow(out, system);
  }
}

struct Command {
  std::optional<std::string> data_dir;
  std::vector<std::string> words;  // the command and its arguments
};

std::optional<Command> ParseArguments(const std::vector<std::string>& args, std::ostream& out) {
  Command command;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      out << kMailferryCtlUsage;
      return std::nullopt;
    }
    if (arg == "--data-dir" || arg.rfind("--data-dir=", 0) == 0) {
      std::string dir;
      if (arg == "--data-dir") {
        if (i + 1 == args.size()) FailUsage("--data-dir needs a folder");
        dir = args[++i];
      } else {
        dir = arg.substr(std::string_view("--data-dir=").size());
      }
      if (dir.empty()) FailUsage("--data-dir needs a folder");
      if (dir.back() != '/') dir += '/';
      command.data_dir = dir;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') FailUsage("Unknown option: " + arg);
    break;
  }
  command.words.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (command.words.empty()) FailUsage("No command given");
  return command;
}

void RequireCount(const std::vector<std::string>& words, std::size_t min, std::size_t max,
                  const std::string& form) {
  if (words.size() < min || words.size() > max) FailUsage("Usage: mailferryctl " + form);
}

// Runs the command on the loaded settings; returns what it prints once everything is saved.
std::string Execute(TDmInOut& dm, const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  const std::string object = words.size() > 1 ? words[1] : std::string();
  constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();

  if (verb == "init") {
    RequireCount(words, 1, 1, "init");
    return {};
  }
  if (verb == "show") {
    RequireCount(words, 1, 1, "show");
    std::ostringstream shown;
    Show(dm, shown);
    return shown.str();
  }
  if (verb != "system" && verb != "account" && verb != "recipient") {
    FailUsage("Unknown command: " + verb);
  }
  // The settings are edited as in the running program, whose start-up has settled the schedule
  // (creating the system row at first start) before any dialog is used.
  FixUpSchedule(dm.dbSystem);

  std::string printed;
  if (verb == "system" && object == "set") {
    RequireCount(words, 3, kAny, "system set FIELD=VALUE...");
    dm.dbSystem.Edit();
    Assign(dm.dbSystem, words, 2);
    dm.dbSystem.Post();
  } else if (verb == "account" && object == "add") {
    RequireCount(words, 2, kAny, "account add FIELD=VALUE...");
    dm.dbAccounts.Append();
    Assign(dm.dbAccounts, words, 2);
    dm.dbAccounts.Post();
    printed = dm.dbAccounts.FieldByName("AccountID").AsString() + "\n";
  } else if (verb == "account" && object == "set") {
    RequireCount(words, 4, kAny, "account set ID FIELD=VALUE...");
    LocateAccount(dm, ParseNumber(words[2], "AccountID"));
    dm.dbAccounts.Edit();
    Assign(dm.dbAccounts, words, 3);
    dm.dbAccounts.Post();
  } else if (verb == "account" && object == "delete") {
    RequireCount(words, 3, 3, "account delete ID");
    LocateAccount(dm, ParseNumber(words[2], "AccountID"));
    dm.dbAccounts.Delete();
  } else if (verb == "recipient" && object == "add") {
    RequireCount(words, 4, 4, "recipient add ID ADDRESS");
    LocateAccount(dm, ParseNumber(words[2], "AccountID"));
    dm.dbSendAddresses.Append();  // linked to the current account and numbered by the event
    dm.dbSendAddresses.FieldByName("EmailAddress").SetAsString(words[3]);
    dm.dbSendAddresses.Post();
    printed = dm.dbSendAddresses.FieldByName("Key").AsString() + "\n";
  } else if (verb == "recipient" && object == "delete") {
    RequireCount(words, 3, 3, "recipient delete KEY");
    LocateRecipient(dm, ParseNumber(words[2], "Key"));
    dm.dbSendAddresses.Delete();
  } else {
    FailUsage("Unknown command: " + verb + (object.empty() ? "" : " " + object));
  }
  dm.SaveAll();
  return printed;
}

}  // namespace

int RunMailferryCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const CtlEnvironment& environment) {
  try {
    const std::optional<Command> command = ParseArguments(args, out);
    if (!command) return 0;
    GivenDataDir given(command->data_dir.value_or(""));
    MachineStore& real_store =
        command->data_dir ? static_cast<MachineStore&>(given) : environment.machine_store;
    const std::string& verb = command->words[0];
    if (verb == "scan") {
      RequireCount(command->words, 1, 1, "scan");
      // The run reads the files that the settings are saved to, so nothing is held back here.
      ScanEnvironment scan_environment;
      if (environment.scan != nullptr) {
        scan_environment = *environment.scan;
      } else {
        scan_environment.files = &environment.files;
      }
      TDmInOut dm(real_store, environment.directories, environment.files);
      dm.LoadAll();
      return RunScanCommand(dm, real_store, scan_environment, out, err);
    }
    if (verb == "preview") {
      // A preview changes nothing: whatever loading would create is never committed.
      StagedMachineStore store(real_store);
      StagedFileReplacer files(environment.files);
      TDmInOut dm(store, environment.directories, files);
      dm.LoadAll();
      RunPreviewCommand(dm, {command->words.begin() + 1, command->words.end()},
                        environment.scan != nullptr ? *environment.scan : ScanEnvironment{}, out);
      return 0;
    }
    StagedMachineStore store(real_store);
    StagedFileReplacer files(environment.files);
    TDmInOut dm(store, environment.directories, files);
    dm.LoadAll();
    const std::string printed = Execute(dm, command->words);
    if (const auto failed = files.CommitAll()) Fail("Cannot create file " + *failed);
    store.CommitAll();
    out << printed;
    out.flush();
    return 0;
  } catch (const std::exception& error) {
    err << error.what() << '\n';
    return 1;
  }
}

}  // namespace mailferry

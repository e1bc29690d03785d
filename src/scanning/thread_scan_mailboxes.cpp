#include "scanning/thread_scan_mailboxes.h"

#include <set>

#include "dialup/internet_probe.h"
#include "dialup/ras_manager.h"
#include "message/message.h"
#include "scanning/forward_message.h"
#include "scanning/keep_rule.h"
#include "scanning/scan_texts.h"
#include "settings/dm_scan.h"
#include "settings/settings_tables.h"
#include "settings/table_file.h"
#include "transport/pop3.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

// Failures after which the conversation cannot go on: the peer closed, the socket failed, or
// the server fell silent. Anything else raised while a message is read belongs to the message.
bool IsConnectionFailure(const std::exception& error) {
  return dynamic_cast<const EMfSilentException*>(&error) != nullptr ||
         dynamic_cast<const EMfClosedSocket*>(&error) != nullptr ||
         dynamic_cast<const EMfSocketError*>(&error) != nullptr ||
         dynamic_cast<const EMfReadTimeout*>(&error) != nullptr ||
         dynamic_cast<const EMfNotConnected*>(&error) != nullptr;
}

// Tells whether the server accepted the retrieval, that is, whether reading the message began.
class TrackedReader : public MessageReader {
 public:
  explicit TrackedReader(MessageReader& message) : message_(message) {}
  void ReceiveMessage(TMfTCPConnection& connection) override {
    started_ = true;
    message_.ReceiveMessage(connection);
  }
  bool started() const { return started_; }

 private:
  MessageReader& message_;
  bool started_ = false;
};

// Sets a pointer for the lifetime of a scope, and clears it again however the scope ends.
template <typename T>
class ScopedPointer {
 public:
  ScopedPointer(T*& slot, T* value) : slot_(slot) { slot_ = value; }
  ~ScopedPointer() { slot_ = nullptr; }
  ScopedPointer(const ScopedPointer&) = delete;
  ScopedPointer& operator=(const ScopedPointer&) = delete;

 private:
  T*& slot_;
};

}  // namespace

TThreadScanMailBoxes::TThreadScanMailBoxes(ScanEnvironment environment) : env_(environment) {}

TThreadScanMailBoxes::~TThreadScanMailBoxes() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void TThreadScanMailBoxes::Start() {
  thread_ = std::thread([self = shared_from_this()] { self->Run(); });
}

void TThreadScanMailBoxes::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TThreadScanMailBoxes::Run() {
  try {
    Execute();
  } catch (const std::exception& error) {
    fatal_error_ = OneLine(error.what());
  } catch (...) {
    fatal_error_ = "Unknown error";
  }
  if (!on_terminate_) return;
  try {
    env_.main_thread->RunSynchronously([this] { on_terminate_(*this); });
  } catch (...) {
    // The completion's own failure has been shown where it happened; the worker has no one
    // left to tell.
  }
}

void TThreadScanMailBoxes::Execute() {
  accounts_checked_ = 0;
  messages_found_ = 0;
  // The run's dial-up manager lives on this thread, which has no event loop.
  auto dm = std::make_unique<TDmScan>(
      std::make_unique<TRasManager>(*env_.dial_up, worker_main_thread_, *env_.clock));
  ScopedPointer<TDmScan> scoped_dm(dm_, dm.get());
  LoadTableFile(dm->dbAccounts, data_dir_ + kAccountsFileName);
  LoadTableFile(dm->dbSendAddresses, data_dir_ + kAccountDetailsFileName);
  LoadTableFile(dm->dbSystem, data_dir_ + kSettingsFileName);
  forwarded_ids_ = std::make_unique<ForwardedIds>(data_dir_ + kForwardedIdsFileName, *env_.files);
  forwarded_ids_->Load();

  TRasManager& ras = dm->Ras();
  ras.StartMonitoring();
  int entry = -1;
  if (!IsInternetConnected(*env_.dial_up) && dm->dbSystem.FieldByName("RasEnabled").AsBoolean()) {
    entry = ras.IndexOfEntry(dm->dbSystem.FieldByName("RasConnection").AsString());
    if (entry > -1) ras.Dial(entry);
  }
  ScanAccounts();
  if (entry > -1) ras.HangUp(entry);
  ras.StopMonitoring();
  dm->dbSendAddresses.Close();
  dm->dbAccounts.Close();
  dm->dbSystem.Close();
  forwarded_ids_.reset();
  dm.reset();
  Log(FormatText(kScanDoneLogFormat,
                 {std::to_string(messages_found_), std::to_string(accounts_checked_)}));
}

void TThreadScanMailBoxes::ScanAccounts() {
  TMfPOP3 pop3(*env_.sockets);
  pop3.SetSilentServerBound(env_.silent_server_bound);
  ScopedPointer<TMfPOP3> scoped_pop3(pop3_, &pop3);
  TMemTable& accounts = dm_->dbAccounts;
  if (accounts.IsEmpty()) return;
  accounts.First();
  TMfMessage message(env_.message);
  ScopedPointer<TMfMessage> scoped_message(message_, &message);
  while (!accounts.Eof()) {
    ++accounts_checked_;
    pop3.SetUsername(accounts.FieldByName("Pop3UserName").AsString());
    pop3.SetPassword(accounts.FieldByName("Pop3Password").AsString());
    pop3.SetHost(accounts.FieldByName("Pop3Server").AsString());
    pop3.SetPort(accounts.FieldByName("Pop3Port").AsInteger());
    account_id_ = accounts.FieldByName("AccountID").AsInteger();
    account_name_ = accounts.FieldByName("AccountName").AsString();
    try {
      pop3.OpenConnection(-1);
      if (pop3.IsConnected()) {
        const int count = pop3.CountMessages();
        unique_ids_.clear();
        if (count > 0) unique_ids_ = pop3.UniqueIds();
        if (!unique_ids_.empty()) {
          std::set<std::string> listed;
          for (const auto& [number, id] : unique_ids_) listed.insert(id);
          forwarded_ids_->KeepOnly(account_id_, listed);
        }
        // Without a listing, the messages read in a complete pass are all the server has.
        bool all_read = true;
        std::set<std::string> seen;
        for (int k = count; k >= 1; --k) {
          if (ProcessMessage(k)) {
            seen.insert(message_id_);
          } else {
            all_read = false;
          }
        }
        if (unique_ids_.empty() && all_read) forwarded_ids_->KeepOnly(account_id_, seen);
        pop3.CloseConnection();
      } else {
        Log(kUnableToConnectLog + account_name_);
      }
    } catch (const std::exception& error) {
      account_errors_.push_back(account_name_ + ": " + OneLine(error.what()));
      Log(kErrorWhileConnectingLog + account_name_);
      try {
        pop3.CloseConnection();
      } catch (const std::exception&) {
        // The account's failure is already logged; a failing QUIT adds nothing.
      }
    }
    accounts.Next();
  }
}

bool TThreadScanMailBoxes::ProcessMessage(int k) {
  ++messages_found_;
  TMfMessage& message = *message_;
  message.Clear();
  TrackedReader reader(message);
  bool retrieved = false;
  try {
    retrieved = pop3_->RetrieveMessage(k, reader);
  } catch (const std::exception& error) {
    // A message that cannot be read is skipped once its rest is drained; a conversation that
    // failed (or a reply that made no sense) ends the account.
    if (!reader.started() || IsConnectionFailure(error)) throw;
    pop3_->DrainMessage();
    LogNotForwarded(k, error.what());
    return false;
  }
  if (!retrieved) {
    LogNotForwarded(k, "-ERR" + pop3_->LastCmdResult().JoinedText());
    return false;
  }
  const auto listed = unique_ids_.find(k);
  message_id_ = listed != unique_ids_.end() ? listed->second : FallbackMessageId(message.Headers());
  try {
    if (AcceptMessage(message)) ForwardMessage(account_id_, message);
  } catch (const EMfMessageRefused& error) {
    LogNotForwarded(k, error.what());
    return false;
  }
  TMemTable& accounts = dm_->dbAccounts;
  if (ShouldDeleteMessage(accounts.FieldByName("Pop3KeepMessages").AsBoolean(),
                          accounts.FieldByName("Pop3KeepTime").AsInteger(), message.Date(),
                          env_.clock->Now())) {
    pop3_->DeleteMessage(k);
  }
  return true;
}

bool TThreadScanMailBoxes::AcceptMessage(const TMfMessage&) {
  return !forwarded_ids_->Contains(account_id_, message_id_);
}

void TThreadScanMailBoxes::ForwardMessage(int accountId, TMfMessage& message) {
  const ForwardingRules rules = ReadForwardingRules(dm_->dbAccounts, dm_->dbSendAddresses);
  if (!PrepareForForwarding(message, rules)) return;
  DeliverMessage(
      message, ReadSmtpTarget(dm_->dbSystem), *env_.sockets,
      [&] { forwarded_ids_->Record(accountId, message_id_); }, env_.silent_server_bound);
}

void TThreadScanMailBoxes::Log(const std::string& text) {
  if (log_sink_) log_sink_->Append(data_dir_, text);
}

void TThreadScanMailBoxes::LogNotForwarded(int k, const std::string& error_text) {
  Log(FormatText(kNotForwardedLogFormat, {std::to_string(k), account_name_, OneLine(error_text)}));
}

std::shared_ptr<TThreadScanMailBoxes> RunScanToEnd(const std::string& data_dir,
                                                   ScanEnvironment environment,
                                                   std::shared_ptr<const ActivityLog> log_sink) {
  NoLoopMainThread here;
  environment.main_thread = &here;
  auto worker = std::make_shared<TThreadScanMailBoxes>(environment);
  worker->SetDataDir(data_dir);
  worker->SetLogSink(std::move(log_sink));
  worker->Start();
  worker->WaitFor();
  return worker;
}

}  // namespace mailferry

// The test bench of the scan run and the scan controller: a data directory with settings files,
// scripted POP3 and SMTP servers on 127.0.0.1, fake ports, and helpers that write the servers'
// side of a mailbox conversation and of a delivery.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dialup/ras_manager.h"
#include "scanning/scan_environment.h"
#include "settings/dm_in_out.h"
#include "support/failing_file_replacer.h"
#include "support/fake_clock.h"
#include "support/fake_dial_up_platform.h"
#include "support/fake_directories.h"
#include "support/fake_locale_formats.h"
#include "support/fake_locale_language.h"
#include "support/fake_machine_store.h"
#include "support/fake_socket_stack.h"
#include "support/fake_temp_files.h"
#include "support/queued_main_thread.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace mailferry::testing {

// A message as the tests keep it in a mailbox.
struct TestMessage {
  TestMessage(std::string tag, std::string to_header = "anna@remote.test",
              std::string date_header = "Tue, 05 Mar 2024 10:00:00 +0000",
              std::vector<std::string> extra = {})
      : number_tag(std::move(tag)),
        to(std::move(to_header)),
        date(std::move(date_header)),
        extra_headers(std::move(extra)) {}

  std::string number_tag;  // "m3": Subject, Message-ID and body carry it
  std::string to;
  std::string date;  // empty: no Date header
  std::vector<std::string> extra_headers;

  std::string Text() const;
};

class ScanFixture : public ::testing::Test {
 protected:
  // 2024-03-05 10:00:00, the date of the test messages.
  static double MessageDay();

  ScanFixture();
  ~ScanFixture() override;

  // Account and system settings, saved to the data directory's files by Save().
  int AddAccount(const std::string& name, int pop3_port,
                 const std::vector<std::pair<std::string, std::string>>& fields = {});
  void AddRecipient(int account_id, const std::string& address);
  void SetSystem(const std::vector<std::pair<std::string, std::string>>& fields);
  void Save();

  // The POP3 server's side of a login as "anna"/"secret" and a STAT of count messages.
  static ScriptedServer& Login(ScriptedServer& pop3, int count);
  // UIDL listing the given ids as messages 1, 2, ...
  static ScriptedServer& Uidl(ScriptedServer& pop3, const std::vector<std::string>& ids);
  // "RETR k" answered "+OK" and the message in retrieval form.
  static ScriptedServer& Retrieve(ScriptedServer& pop3, int k, const TestMessage& message);
  static ScriptedServer& Delete(ScriptedServer& pop3, int k);
  static ScriptedServer& Quit(ScriptedServer& pop3);

  // One accepted delivery on its own connection: MAIL FROM the test sender, one RCPT TO per
  // recipient, the data captured, "250", QUIT.
  static ScriptedServer& Delivery(ScriptedServer& smtp, const std::vector<std::string>& recipients);

  // The activity log's lines without their time stamps.
  std::vector<std::string> LogTexts() const;
  // The record of forwarded messages, as its file holds it.
  std::string ForwardedFile() const;

  // Finishes both servers and checks that they saw what their scripts expect.
  void ExpectServersDone();
  // Fresh servers for the next scan; the accounts on the old POP3 server and the SMTP port move
  // to them (saved by the next Save()).
  void RenewServers();
  // Points the SMTP port at a port where nothing listens, so that a delivery the test does not
  // expect fails at once ("Socket Error # 10061") instead of waiting for a greeting.
  void RefuseSmtp();

  ScanEnvironment Environment();

  TempDir dir_;
  FakeMachineStore store_;
  FakeDirectories directories_;
  FailingFileReplacer files_;
  FakeDialUpPlatform settings_dial_up_;
  FakeDialUpPlatform run_dial_up_;
  QueuedMainThread main_;
  FakeClock clock_;
  FakeLocaleFormats formats_;
  FakeLocaleLanguage locale_{"en", "US", true};
  std::unique_ptr<FakeTempFiles> temp_files_;
  FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_;
  std::unique_ptr<ScriptedServer> pop3_ = std::make_unique<ScriptedServer>();
  std::unique_ptr<ScriptedServer> smtp_ = std::make_unique<ScriptedServer>();
  std::unique_ptr<TDmInOut> dm_;
};

}  // namespace mailferry::testing

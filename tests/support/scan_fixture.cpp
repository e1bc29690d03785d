#include "support/scan_fixture.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "common/date_time.h"
#include "scanning/message_preview.h"
#include "settings/schedule_fix_up.h"
#include "support/file_bytes.h"

namespace mailferry::testing {

std::string TestMessage::Text() const {
  std::string text =
      "From: Ann <ann@sender.test>\r\nTo: " + to + "\r\nSubject: " + number_tag + "\r\n";
  if (!date.empty()) text += "Date: " + date + "\r\n";
  text += "Message-ID: <" + number_tag + "@sender.test>\r\n";
  for (const std::string& line : extra_headers) text += line + "\r\n";
  text += "\r\nbody of " + number_tag + "\r\n";
  return text;
}

double ScanFixture::MessageDay() { return *EncodeDate(2024, 3, 5) + *EncodeTime(10, 0, 0); }

ScanFixture::ScanFixture()
    : store_(dir_.prefix()),
      directories_(dir_.prefix() + "bin/", dir_.prefix() + "home/"),
      clock_(MessageDay(), 0) {
  std::filesystem::create_directory(dir_.path() / "tmp");
  temp_files_ = std::make_unique<FakeTempFiles>((dir_.path() / "tmp").string());
  stack_.set_host_name("relay");
  layer_ = stack_.MakeLayer();
  dm_ = std::make_unique<TDmInOut>(store_, directories_, files_,
                                   std::make_unique<TRasManager>(settings_dial_up_, main_, clock_));
  dm_->LoadAll();
  FixUpSchedule(dm_->dbSystem);
  SetSystem({{"ExchangeServer", "127.0.0.1"}, {"SMTPPort", std::to_string(smtp_->port())}});
}

ScanFixture::~ScanFixture() = default;

ScanEnvironment ScanFixture::Environment() {
  ScanEnvironment environment;
  environment.sockets = layer_.get();
  environment.dial_up = &run_dial_up_;
  environment.main_thread = &main_;
  environment.clock = &clock_;
  environment.files = &files_;
  environment.message = {temp_files_.get(), &clock_, &locale_};
  // A conversation the script does not expect fails within seconds instead of ten minutes.
  environment.silent_server_bound = std::chrono::seconds(3);
  return environment;
}

int ScanFixture::AddAccount(const std::string& name, int pop3_port,
                            const std::vector<std::pair<std::string, std::string>>& fields) {
  TMemTable& accounts = dm_->dbAccounts;
  accounts.Append();
  accounts.FieldByName("AccountName").SetAsString(name);
  accounts.FieldByName("Pop3Server").SetAsString("127.0.0.1");
  accounts.FieldByName("Pop3Port").SetAsInteger(pop3_port);
  accounts.FieldByName("Pop3UserName").SetAsString("anna");
  accounts.FieldByName("Pop3Password").SetAsString("secret");
  accounts.FieldByName("Pop3DomainName").SetAsString("remote.test");
  accounts.FieldByName("SMTPDomainName").SetAsString("local.test");
  for (const auto& [field, value] : fields) accounts.FieldByName(field).SetAsString(value);
  accounts.Post();
  return accounts.FieldByName("AccountID").AsInteger();
}

void ScanFixture::AddRecipient(int account_id, const std::string& address) {
  TMemTable& accounts = dm_->dbAccounts;
  for (accounts.First(); !accounts.Eof(); accounts.Next()) {
    if (accounts.FieldByName("AccountID").AsInteger() == account_id) break;
  }
  dm_->dbSendAddresses.Append();
  dm_->dbSendAddresses.FieldByName("EmailAddress").SetAsString(address);
  dm_->dbSendAddresses.Post();
}

void ScanFixture::SetSystem(const std::vector<std::pair<std::string, std::string>>& fields) {
  dm_->dbSystem.Edit();
  for (const auto& [field, value] : fields) dm_->dbSystem.FieldByName(field).SetAsString(value);
  dm_->dbSystem.Post();
}

void ScanFixture::Save() { dm_->SaveAll(); }

ScriptedServer& ScanFixture::Login(ScriptedServer& pop3, int count) {
  return pop3.Accept()
      .SendLine("+OK POP3 ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS secret")
      .SendLine("+OK logged in")
      .Expect("STAT")
      .SendLine("+OK " + std::to_string(count) + " " + std::to_string(count * 300));
}

ScriptedServer& ScanFixture::Uidl(ScriptedServer& pop3, const std::vector<std::string>& ids) {
  pop3.Expect("UIDL").SendLine("+OK");
  for (std::size_t i = 0; i < ids.size(); ++i) {
    pop3.SendLine(std::to_string(i + 1) + " " + ids[i]);
  }
  return pop3.SendLine(".");
}

ScriptedServer& ScanFixture::Retrieve(ScriptedServer& pop3, int k, const TestMessage& message) {
  return pop3.Expect("RETR " + std::to_string(k))
      .SendLine("+OK message follows")
      .Send(Pop3RetrievalForm(message.Text()));
}

ScriptedServer& ScanFixture::Delete(ScriptedServer& pop3, int k) {
  return pop3.Expect("DELE " + std::to_string(k)).SendLine("+OK deleted");
}

ScriptedServer& ScanFixture::Quit(ScriptedServer& pop3) { return pop3.Expect("QUIT").AwaitClose(); }

ScriptedServer& ScanFixture::Delivery(ScriptedServer& smtp,
                                      const std::vector<std::string>& recipients) {
  smtp.Accept()
      .SendLine("220 relay.local.test ESMTP")
      .Expect("EHLO relay")
      .SendLine("250 relay.local.test")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<ann@sender.test>")
      .SendLine("250 ok");
  for (const std::string& recipient : recipients) {
    smtp.Expect("RCPT TO:<" + recipient + ">").SendLine("250 ok");
  }
  return smtp.Expect("DATA")
      .SendLine("354 go ahead")
      .CaptureUntil(".")
      .SendLine("250 queued")
      .Expect("QUIT")
      .AwaitClose();
}

std::vector<std::string> ScanFixture::LogTexts() const {
  const std::string bytes = ReadFileBytes(dir_.prefix() + "MFY.log");
  std::vector<std::string> texts;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(start, end - start);
    const std::size_t tab = line.find('\t');
    texts.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
    start = end + 2;
  }
  return texts;
}

std::string ScanFixture::ForwardedFile() const {
  return ReadFileBytes(dir_.prefix() + "MFY_Forwarded.txt");
}

void ScanFixture::ExpectServersDone() {
  EXPECT_THAT(pop3_->Finish(), ::testing::IsEmpty()) << "POP3 server";
  EXPECT_THAT(smtp_->Finish(), ::testing::IsEmpty()) << "SMTP server";
}

void ScanFixture::RenewServers() {
  const int old_pop3_port = pop3_->port();
  pop3_ = std::make_unique<ScriptedServer>();
  smtp_ = std::make_unique<ScriptedServer>();
  TMemTable& accounts = dm_->dbAccounts;
  for (accounts.First(); !accounts.Eof(); accounts.Next()) {
    if (accounts.FieldByName("Pop3Port").AsInteger() != old_pop3_port) continue;
    accounts.Edit();
    accounts.FieldByName("Pop3Port").SetAsInteger(pop3_->port());
    accounts.Post();
  }
  SetSystem({{"SMTPPort", std::to_string(smtp_->port())}});
}

void ScanFixture::RefuseSmtp() {
  int closed_port = 0;
  {
    ScriptedServer gone;
    closed_port = gone.port();
  }
  SetSystem({{"SMTPPort", std::to_string(closed_port)}});
}

}  // namespace mailferry::testing

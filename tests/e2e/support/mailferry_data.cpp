#include "e2e/support/mailferry_data.h"

#include <stdexcept>

#include "e2e/support/message_text.h"
#include "support/file_bytes.h"

namespace mailferry::testing {

MailferryData::MailferryData(int smtp_port) : path_(dir_.path().string()) {
  Ctl({"init"});
  Ctl({"system", "set", "ExchangeServer=127.0.0.1", "SMTPPort=" + std::to_string(smtp_port),
       "CheckLog=True"});
}

std::string MailferryData::Ctl(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"--data-dir", path_};
  argv.insert(argv.end(), args.begin(), args.end());
  ProgramResult result = RunMailferryCtlProgram(argv);
  if (result.exit_status != 0) {
    throw std::runtime_error("mailferryctl " + args.front() + " failed (exit " +
                             std::to_string(result.exit_status) + "): " + result.err);
  }
  return result.out;
}

int MailferryData::AddAccount(const std::vector<std::string>& fields) const {
  std::vector<std::string> args{"account", "add"};
  args.insert(args.end(), fields.begin(), fields.end());
  return std::stoi(Ctl(args));
}

void MailferryData::AddRecipient(int account_id, const std::string& address) const {
  Ctl({"recipient", "add", std::to_string(account_id), address});
}

ProgramResult MailferryData::Scan() const {
  return RunMailferryCtlProgram({"--data-dir", path_, "scan"});
}

std::vector<std::string> MailferryData::LogTexts() const {
  std::vector<std::string> texts;
  for (const std::string& line : SplitLines(ReadFileBytes(dir_.path() / "MFY.log"))) {
    const size_t tab = line.find('\t');
    texts.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
  }
  return texts;
}

std::string ScanSummary(int messages, int mailboxes) {
  return "There were " + std::to_string(messages) + " new email messages in " +
         std::to_string(mailboxes) + " mailboxes.\n";
}

}  // namespace mailferry::testing

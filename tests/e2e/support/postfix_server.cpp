#include "e2e/support/postfix_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "e2e/support/mail_servers_script.h"
#include "e2e/support/maildir.h"

namespace mailferry::testing {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// When `line` is the header field `name`, its value (blanks and angle brackets trimmed).
std::optional<std::string> FieldValue(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':' ||
      !EqualsIgnoringCase(line.substr(0, name.size()), name)) {
    return std::nullopt;
  }
  std::string_view value = line.substr(name.size() + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '<')) value.remove_prefix(1);
  while (!value.empty() && value.back() == '>') value.remove_suffix(1);
  return std::string(value);
}

}  // namespace

StoredMessage ParseStoredMessage(std::string raw) {
  StoredMessage message;
  // The trace Postfix puts on top, in this order: Return-Path and X-Original-To, Delivered-To
  // (both from the virtual delivery agent), then its own Received field with continuation lines.
  size_t pos = 0;
  auto next_line = [&](size_t from) {
    size_t end = raw.find('\n', from);
    return std::string_view(raw).substr(from,
                                        end == std::string::npos ? raw.size() - from : end - from);
  };
  auto skip_line = [&]() {
    size_t end = raw.find('\n', pos);
    pos = end == std::string::npos ? raw.size() : end + 1;
  };
  if (auto value = FieldValue(next_line(pos), "Return-Path")) {
    message.sender = *value;
    skip_line();
  }
  if (FieldValue(next_line(pos), "X-Original-To")) skip_line();
  if (auto value = FieldValue(next_line(pos), "Delivered-To")) {
    message.recipient = *value;
    skip_line();
  }
  if (FieldValue(next_line(pos), "Received")) {
    skip_line();
    while (pos < raw.size() && (raw[pos] == ' ' || raw[pos] == '\t')) skip_line();
  }
  for (size_t i = pos; i < raw.size(); ++i) {
    if (raw[i] == '\n') message.text += '\r';
    message.text += raw[i];
  }
  message.raw = std::move(raw);
  return message;
}

PostfixServer::PostfixServer() {
  try {
    ScriptValues values = RunMailServersScript({"postfix-start", dir_.path().string()});
    port_ = std::stoi(ScriptValue(values, "smtp_port"));
    store_ = ScriptValue(values, "smtp_store");
    stored_domain_ = ScriptValue(values, "smtp_stored_domain");
    refused_domain_ = ScriptValue(values, "smtp_refused_domain");
  } catch (...) {
    // The script stops what it started when it fails, but a failure after it returned (an
    // unreadable answer) must not leave a server behind the folder's removal.
    try {
      RunMailServersScript({"postfix-stop", dir_.path().string()});
    } catch (...) {
    }
    throw;
  }
}

PostfixServer::~PostfixServer() {
  try {
    RunMailServersScript({"postfix-stop", dir_.path().string()});
  } catch (const std::exception& e) {
    ADD_FAILURE() << "stopping Postfix: " << e.what();
  }
}

std::vector<StoredMessage> PostfixServer::ReceivedMessages() const {
  std::vector<StoredMessage> messages;
  for (MaildirFile& file : ReadMaildir(store_)) {
    messages.push_back(ParseStoredMessage(std::move(file.bytes)));
  }
  return messages;
}

std::vector<StoredMessage> PostfixServer::ReceivedMessages(const std::string& recipient) const {
  std::vector<StoredMessage> messages = ReceivedMessages();
  std::erase_if(messages, [&](const StoredMessage& message) {
    return !EqualsIgnoringCase(message.recipient, recipient);
  });
  return messages;
}

std::vector<StoredMessage> PostfixServer::WaitForMessages(const std::string& recipient,
                                                          size_t count,
                                                          std::chrono::milliseconds bound) const {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    std::vector<StoredMessage> messages = ReceivedMessages(recipient);
    if (messages.size() >= count || std::chrono::steady_clock::now() >= deadline) return messages;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool PostfixServer::WaitUntilQueueEmpty(std::chrono::milliseconds bound) const {
  const std::filesystem::path queue = dir_.path() / "postfix" / "queue";
  // The folders a message passes through from acceptance to delivery (or waits in).
  const char* const kQueues[] = {"maildrop", "incoming", "active", "deferred", "hold"};
  auto queued = [&] {
    for (const char* name : kQueues) {
      std::error_code error;
      // Files move while we look: an entry that vanished is simply no longer queued.
      for (std::filesystem::recursive_directory_iterator it(queue / name, error), end;
           !error && it != end; it.increment(error)) {
        std::error_code vanished;
        if (it->is_regular_file(vanished)) return true;
      }
    }
    return false;
  };
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (!queued()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void PostfixServer::ClearReceived() { ClearMaildir(store_); }

}  // namespace mailferry::testing

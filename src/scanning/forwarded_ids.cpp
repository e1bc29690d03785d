#include "scanning/forwarded_ids.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/mf_exception.h"
#include "transport/md5.h"

namespace mailferry {
namespace {

// The decimal AccountID at the start of a line, before its TAB.
bool ParseAccountId(std::string_view text, int* account_id) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 10) return false;
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  *account_id = static_cast<int>(value);
  return true;
}

}  // namespace

ForwardedIds::ForwardedIds(std::string path, FileReplacer& files)
    : path_(std::move(path)), files_(files) {}

void ForwardedIds::Load() {
  ids_.clear();
  needs_rewrite_ = false;
  std::error_code ec;
  if (!std::filesystem::exists(path_, ec)) return;
  std::ifstream in(path_, std::ios::binary);
  if (!in || std::filesystem::is_directory(path_, ec))
    throw EMfException("Cannot open file " + path_);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EMfException("Cannot open file " + path_);
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find('\n', start);
    if (end == std::string::npos) {
      // A line without its break is an append cut short: its id may be incomplete.
      needs_rewrite_ = true;
      break;
    }
    std::string_view line(content.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t tab = line.find('\t');
    int account_id = 0;
    if (tab != std::string_view::npos && tab + 1 < line.size() &&
        ParseAccountId(line.substr(0, tab), &account_id)) {
      ids_[account_id].emplace(line.substr(tab + 1));
    } else {
      needs_rewrite_ = true;
    }
    start = end + 1;
  }
}

bool ForwardedIds::Contains(int account_id, std::string_view id) const {
  const auto account = ids_.find(account_id);
  return account != ids_.end() && account->second.count(std::string(id)) != 0;
}

void ForwardedIds::Record(int account_id, std::string id) {
  const std::string line = std::to_string(account_id) + '\t' + id + '\n';
  if (!ids_[account_id].insert(std::move(id)).second) return;
  if (!needs_rewrite_ && files_.Append(path_, line)) return;
  needs_rewrite_ = true;
  Write();
}

void ForwardedIds::KeepOnly(int account_id, const std::set<std::string>& listed) {
  const auto account = ids_.find(account_id);
  if (account == ids_.end()) return;
  const std::size_t before = account->second.size();
  std::erase_if(account->second, [&](const std::string& id) { return listed.count(id) == 0; });
  const bool changed = account->second.size() != before;
  if (account->second.empty()) ids_.erase(account);
  if (changed) Write();
}

std::set<std::string> ForwardedIds::IdsOf(int account_id) const {
  const auto account = ids_.find(account_id);
  return account == ids_.end() ? std::set<std::string>() : account->second;
}

void ForwardedIds::Write() {
  std::string content;
  for (const auto& [account_id, ids] : ids_) {
    const std::string prefix = std::to_string(account_id) + '\t';
    for (const std::string& id : ids) {
      content += prefix;
      content += id;
      content += '\n';
    }
  }
  if (!ReplaceFileContent(files_, path_, content)) {
    needs_rewrite_ = true;
    throw EMfException("Cannot create file " + path_);
  }
  needs_rewrite_ = false;
}

std::string FallbackMessageId(const TMfHeaderList& headers) {
  const std::string message_id = headers.GetValue("Message-Id");
  bool plain = !message_id.empty();
  for (unsigned char c : message_id) plain = plain && c > 32 && c < 127;
  if (plain) return message_id;
  std::string block;
  for (const std::string& line : headers.Lines()) {
    block += line;
    block += "\r\n";
  }
  return "md5:" + Md5Hex(block);
}

}  // namespace mailferry

#include "e2e/support/maildir.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace mailferry::testing {
namespace {

// Leading decimal digits of `text` from `pos` on, as a number (0 when there are none).
unsigned long long DigitsAt(const std::string& text, size_t pos) {
  unsigned long long value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
  }
  return value;
}

// Delivery order of Maildir names "SECONDS.<parts>.HOST": the seconds, then the microseconds
// of the "M" part of the second field (both our own and Postfix's names carry one).
std::tuple<unsigned long long, unsigned long long, std::string> DeliveryKey(
    const std::string& name) {
  size_t dot = name.find('.');
  size_t end = dot == std::string::npos ? std::string::npos : name.find('.', dot + 1);
  std::string unique = dot == std::string::npos ? "" : name.substr(dot + 1, end - dot - 1);
  size_t m = unique.find('M');
  unsigned long long micros = m == std::string::npos ? 0 : DigitsAt(unique, m + 1);
  return {DigitsAt(name, 0), micros, name};
}

// The file's bytes; nullopt when it is gone (the server renamed or deleted it meanwhile).
std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return std::nullopt;
    throw std::runtime_error("cannot read " + path.string());
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

std::vector<MaildirFile> ReadMaildir(const std::filesystem::path& maildir) {
  // The server moves messages from new/ to cur/ and deletes them while we read; a file that
  // vanished between listing and reading makes the snapshot start again (bounded).
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::vector<MaildirFile> files;
    bool vanished = false;
    for (const char* sub : {"new", "cur"}) {
      std::error_code ec;
      for (const auto& entry : std::filesystem::directory_iterator(maildir / sub, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        std::optional<std::string> bytes = ReadFile(entry.path());
        if (!bytes) {
          vanished = true;
          break;
        }
        files.push_back({entry.path().filename().string(), std::move(*bytes)});
      }
      if (vanished) break;
    }
    if (vanished) continue;
    std::sort(files.begin(), files.end(), [](const MaildirFile& a, const MaildirFile& b) {
      return DeliveryKey(a.name) < DeliveryKey(b.name);
    });
    return files;
  }
  throw std::runtime_error("maildir kept changing while read: " + maildir.string());
}

void ClearMaildir(const std::filesystem::path& maildir) {
  for (const char* sub : {"new", "cur"}) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(maildir / sub, ec)) {
      std::filesystem::remove(entry.path());
    }
  }
}

}  // namespace mailferry::testing

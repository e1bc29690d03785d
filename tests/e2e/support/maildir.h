// Reading the messages of a Maildir folder, as both test servers store them. Test support only.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mailferry::testing {

struct MaildirFile {
  std::string name;   // the file name in new/ or cur/ (flags included)
  std::string bytes;  // the file's content, unchanged
};

// Every message in `maildir`/new and `maildir`/cur, in delivery order (the time stamp that
// starts a Maildir name, then its microseconds, then the name). A missing folder is empty.
std::vector<MaildirFile> ReadMaildir(const std::filesystem::path& maildir);

// Removes every message of `maildir` (new/ and cur/); the folder stays.
void ClearMaildir(const std::filesystem::path& maildir);

}  // namespace mailferry::testing

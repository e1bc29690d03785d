// The FileReplacer port: gives a file its whole new content so that the old content stays in place
// until the new one is complete, and the file is private to its owner.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace mailferry {

// One file being replaced. Destroying it without a successful Commit discards everything written
// and leaves the target as it was.
class FileReplacement {
 public:
  virtual ~FileReplacement() = default;

  // Appends data to the new content; false when the bytes could not be written.
  virtual bool Write(std::string_view data) = 0;

  // Makes the new content the file's content; false when that failed (the old file then stays).
  // Call once; the replacement is spent afterwards either way.
  virtual bool Commit() = 0;
};

class FileReplacer {
 public:
  virtual ~FileReplacer() = default;

  // Starts replacing the file at path (created when missing). nullptr when the new content has
  // nowhere to go (missing or unwritable folder). Callable from any thread.
  virtual std::unique_ptr<FileReplacement> Begin(const std::string& path) = 0;

  // Appends data at the end of the file at path, creating it private to its owner when missing.
  // Cheaper than a replacement for a record that only grows; not synced, so a crash of the
  // machine may lose the latest appends (never earlier content). false on any failure.
  virtual bool Append(const std::string& path, std::string_view data) = 0;
};

// Replaces the file at path with content in one go; false on any failure, the old file then stays.
inline bool ReplaceFileContent(FileReplacer& files, const std::string& path,
                               std::string_view content) {
  auto replacement = files.Begin(path);
  return replacement && replacement->Write(content) && replacement->Commit();
}

// The operating system's replacer: a temporary file with mode 0600 in the target's folder, synced
// and renamed over the target. Safe to use from any thread.
FileReplacer& SystemFileReplacer();

}  // namespace mailferry

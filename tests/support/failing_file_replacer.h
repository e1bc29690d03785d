// A FileReplacer over the real one that fails on purpose: at Begin, after a number of bytes
// written, or at Commit - and records the size of every write it passes on.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_replacer.h"

namespace mailferry::testing {

class FailingFileReplacer : public FileReplacer {
 public:
  explicit FailingFileReplacer(FileReplacer& real = SystemFileReplacer()) : real_(real) {}

  std::unique_ptr<FileReplacement> Begin(const std::string& path) override;
  bool Append(const std::string& path, std::string_view data) override;

  // Counted from the call on: Begin fails after this many more successful calls.
  void FailBeginAfter(int successful_begins) { fail_begin_after_ = begins_ + successful_begins; }
  // Counted from the call on: a write fails once this many more bytes went through.
  void FailWritesAfter(std::size_t bytes) { fail_writes_after_ = written_ + bytes; }
  // Counted from the call on: Commit fails after this many more successful commits.
  void FailCommitAfter(int successful_commits) {
    fail_commit_after_ = commits_ + successful_commits;
  }
  // Counted from the call on: Append fails after this many more successful appends.
  void FailAppendAfter(int successful_appends) {
    fail_append_after_ = appends_ + successful_appends;
  }
  // Nothing fails any more.
  void Heal() {
    fail_append_after_.reset();
    fail_begin_after_.reset();
    fail_writes_after_.reset();
    fail_commit_after_.reset();
  }

  const std::vector<std::size_t>& write_sizes() const { return write_sizes_; }

 private:
  friend class FailingReplacement;
  FileReplacer& real_;
  std::optional<int> fail_begin_after_;
  std::optional<std::size_t> fail_writes_after_;
  std::optional<int> fail_commit_after_;
  std::optional<int> fail_append_after_;
  int appends_ = 0;
  int begins_ = 0;
  int commits_ = 0;
  std::size_t written_ = 0;
  std::vector<std::size_t> write_sizes_;
};

}  // namespace mailferry::testing

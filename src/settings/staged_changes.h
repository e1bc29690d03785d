// Holding back an operation's changes to files and to the machine store until the whole operation
// has succeeded, so that a failed operation changes nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_replacer.h"
#include "platform/machine_store.h"

namespace mailferry {

// A FileReplacer whose replacements, once committed by their writer, wait complete beside their
// targets until CommitAll puts them in place in the order they were committed. Replacements still
// waiting when the replacer is destroyed are discarded. Single-threaded.
class StagedFileReplacer : public FileReplacer {
 public:
  explicit StagedFileReplacer(FileReplacer& target) : target_(target) {}

  std::unique_ptr<FileReplacement> Begin(const std::string& path) override;
  // Appends are not held back; they reach the target at once.
  bool Append(const std::string& path, std::string_view data) override {
    return target_.Append(path, data);
  }

  // Puts every waiting replacement in place; the path of the first that failed (the ones after
  // it are discarded), or nullopt when all succeeded.
  std::optional<std::string> CommitAll();

 private:
  friend class StagedReplacement;
  struct Waiting {
    std::string path;
    std::unique_ptr<FileReplacement> replacement;
  };

  FileReplacer& target_;
  std::vector<Waiting> waiting_;
};

// A MachineStore that reads through to another one but keeps writes until CommitAll.
class StagedMachineStore : public MachineStore {
 public:
  explicit StagedMachineStore(MachineStore& target) : target_(target) {}

  std::string Read() const override { return pending_ ? *pending_ : target_.Read(); }
  void Write(const std::string& value) override { pending_ = value; }

  void CommitAll() {
    if (pending_) target_.Write(*pending_);
    pending_.reset();
  }

 private:
  MachineStore& target_;
  std::optional<std::string> pending_;
};

}  // namespace mailferry

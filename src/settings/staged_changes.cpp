#include "settings/staged_changes.h"

namespace mailferry {

class StagedReplacement : public FileReplacement {
 public:
  StagedReplacement(StagedFileReplacer& owner, std::string path,
                    std::unique_ptr<FileReplacement> replacement)
      : owner_(owner), path_(std::move(path)), replacement_(std::move(replacement)) {}

  bool Write(std::string_view data) override { return replacement_ && replacement_->Write(data); }

  bool Commit() override {
    if (!replacement_) return false;
    owner_.waiting_.push_back({std::move(path_), std::move(replacement_)});
    return true;
  }

 private:
  StagedFileReplacer& owner_;
  std::string path_;
  std::unique_ptr<FileReplacement> replacement_;
};

std::unique_ptr<FileReplacement> StagedFileReplacer::Begin(const std::string& path) {
  auto replacement = target_.Begin(path);
  if (!replacement) return nullptr;
  return std::make_unique<StagedReplacement>(*this, path, std::move(replacement));
}

std::optional<std::string> StagedFileReplacer::CommitAll() {
  auto waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& entry : waiting) {
    if (!entry.replacement->Commit()) return entry.path;
  }
  return std::nullopt;
}

}  // namespace mailferry

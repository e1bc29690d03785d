#include "support/failing_file_replacer.h"

namespace mailferry::testing {

class FailingReplacement : public FileReplacement {
 public:
  FailingReplacement(FailingFileReplacer& owner, std::unique_ptr<FileReplacement> real)
      : owner_(owner), real_(std::move(real)) {}

  bool Write(std::string_view data) override {
    if (owner_.fail_writes_after_ && owner_.written_ + data.size() > *owner_.fail_writes_after_) {
      return false;
    }
    owner_.written_ += data.size();
    owner_.write_sizes_.push_back(data.size());
    return real_->Write(data);
  }

  bool Commit() override {
    if (owner_.fail_commit_after_ && owner_.commits_ >= *owner_.fail_commit_after_) return false;
    ++owner_.commits_;
    return real_->Commit();
  }

 private:
  FailingFileReplacer& owner_;
  std::unique_ptr<FileReplacement> real_;
};

std::unique_ptr<FileReplacement> FailingFileReplacer::Begin(const std::string& path) {
  if (fail_begin_after_ && begins_ >= *fail_begin_after_) return nullptr;
  ++begins_;
  auto real = real_.Begin(path);
  if (!real) return nullptr;
  return std::make_unique<FailingReplacement>(*this, std::move(real));
}

bool FailingFileReplacer::Append(const std::string& path, std::string_view data) {
  if (fail_append_after_ && appends_ >= *fail_append_after_) return false;
  ++appends_;
  return real_.Append(path, data);
}

}  // namespace mailferry::testing

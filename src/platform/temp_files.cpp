#include "platform/temp_files.h"

#include <utility>

#include "common/mf_exception.h"

namespace mailferry {

TempFile::TempFile(TempFiles& owner, std::string path, std::unique_ptr<TempFileBuffer> buffer)
    : owner_(&owner),
      path_(std::move(path)),
      buffer_(std::move(buffer)),
      stream_(std::make_unique<std::ostream>(buffer_.get())) {
  // The buffer throws on failure; letting the stream rethrow keeps the error's own text.
  stream_->exceptions(std::ios::badbit);
}

TempFile::~TempFile() { Reset(); }

TempFile::TempFile(TempFile&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)),
      path_(std::move(other.path_)),
      buffer_(std::move(other.buffer_)),
      stream_(std::move(other.stream_)) {
  other.path_.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Reset();
    owner_ = std::exchange(other.owner_, nullptr);
    path_ = std::move(other.path_);
    other.path_.clear();
    buffer_ = std::move(other.buffer_);
    stream_ = std::move(other.stream_);
  }
  return *this;
}

std::ostream& TempFile::stream() {
  if (!stream_) throw EMfException("Temporary file is not open");
  return *stream_;
}

void TempFile::Close() {
  if (!stream_) return;
  stream_.reset();
  buffer_->Close();
}

void TempFile::Reset() noexcept {
  if (owner_ == nullptr) return;
  stream_.reset();
  try {
    buffer_->Close();
  } catch (...) {
    // The file is deleted right after; a failure to write it out no longer matters.
  }
  buffer_.reset();
  owner_->Delete(path_);
  owner_ = nullptr;
  path_.clear();
}

}  // namespace mailferry

#include "support/fake_temp_files.h"

#include <filesystem>
#include <fstream>

#include "common/mf_exception.h"

namespace mailferry::testing {
namespace {

// Writes into an ofstream until the byte budget is spent, then fails like a full disk.
class LimitedBuffer : public TempFileBuffer {
 public:
  LimitedBuffer(const std::string& path, std::optional<std::size_t> limit)
      : out_(path, std::ios::binary | std::ios::trunc), path_(path), limit_(limit) {}

  void Close() override {
    if (!out_.is_open()) return;
    out_.close();
    if (out_.fail()) Fail();
  }

 protected:
  int_type overflow(int_type ch) override {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    xsputn(&c, 1);
    return ch;
  }

  std::streamsize xsputn(const char* data, std::streamsize count) override {
    const auto size = static_cast<std::size_t>(count);
    if (limit_ && written_ + size > *limit_) Fail();
    out_.write(data, count);
    if (!out_) Fail();
    written_ += size;
    return count;
  }

 private:
  [[noreturn]] void Fail() const {
    throw EMfException("Cannot write file \"" + path_ + "\". No space left on device");
  }

  std::ofstream out_;
  std::string path_;
  std::optional<std::size_t> limit_;
  std::size_t written_ = 0;
};

}  // namespace

FakeTempFiles::FakeTempFiles(std::string directory) : directory_(std::move(directory)) {}

TempFile FakeTempFiles::Create() {
  const std::string path =
      directory_ + "/fake-temp-" + std::to_string(created_.size() + 1) + ".tmp";
  if (fail_create_) {
    throw EMfException("Cannot create file \"" + path + "\". Permission denied");
  }
  created_.push_back(path);
  return TempFile(*this, path, std::make_unique<LimitedBuffer>(path, write_limit_));
}

void FakeTempFiles::Delete(const std::string& path) noexcept {
  deleted_.push_back(path);
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace mailferry::testing

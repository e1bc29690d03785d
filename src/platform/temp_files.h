// The TempFiles port: uniquely named files in the system's temporary folder, readable and
// writable by their owner only, and TempFile, the handle that owns one such file.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace mailferry {

class TempFiles;

// The byte sink of an open temporary file. Write failures throw EMfException.
class TempFileBuffer : public std::streambuf {
 public:
  // Writes what is buffered and closes the file; throws EMfException on failure. Later calls do
  // nothing.
  virtual void Close() = 0;
};

// Owns one temporary file: open for writing from its start until Close, deleted when the handle
// is destroyed or reset. Move-only; one thread at a time. The TempFiles that made it must outlive
// it.
class TempFile {
 public:
  TempFile() = default;
  TempFile(TempFiles& owner, std::string path, std::unique_ptr<TempFileBuffer> buffer);
  ~TempFile();

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // False for a default-constructed or reset handle.
  explicit operator bool() const { return owner_ != nullptr; }

  const std::string& path() const { return path_; }

  // The file's content stream. A failed write throws EMfException. Only while the file is open.
  std::ostream& stream();

  // Writes what is buffered and closes the file, which stays until the handle lets go of it.
  // Throws EMfException when the content could not be written completely.
  void Close();

  // Closes without reporting errors and deletes the file now; the handle becomes empty.
  void Reset() noexcept;

 private:
  TempFiles* owner_ = nullptr;
  std::string path_;
  std::unique_ptr<TempFileBuffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
};

class TempFiles {
 public:
  virtual ~TempFiles() = default;

  // A new empty file with a unique name, open for writing. Throws EMfException when it cannot be
  // created. Safe to call from any thread.
  virtual TempFile Create() = 0;

  // Removes a file; silent when it is already gone.
  virtual void Delete(const std::string& path) noexcept = 0;
};

// The operating system's temporary files, for the whole process.
TempFiles& SystemTempFiles();

}  // namespace mailferry

#include "scanning/activity_log.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "common/mf_exception.h"
#include "scanning/scan_texts.h"

namespace mailferry {
namespace {

// The one lock around every append of the process: the main thread's waiting line and a run's
// lines go to the same file, and each append rewrites it whole.
std::mutex& LogFileMutex() {
  static std::mutex mutex;
  return mutex;
}

// The file's lines, each followed by CR LF, whatever line ends they had.
std::string NormalizedLines(const std::string& content) {
  std::string lines;
  lines.reserve(content.size() + content.size() / 32 + 2);
  std::size_t i = 0;
  while (i < content.size()) {
    const std::size_t end = content.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      lines.append(content, i, std::string::npos);
      lines += "\r\n";
      break;
    }
    lines.append(content, i, end - i);
    lines += "\r\n";
    i = end +
        (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

}  // namespace

ActivityLog::ActivityLog(const Clock& clock, FileReplacer& files, const LocaleFormats* formats)
    : clock_(clock), files_(files), formats_(formats) {}

std::string ActivityLog::TimeStampNow() const {
  return FormatTimeStamp(formats_ != nullptr ? *formats_ : ProcessLocaleFormats(), clock_.Now());
}

void ActivityLog::Append(const std::string& data_dir, std::string_view text) const {
  const std::string path = data_dir + kLogFileName;
  std::lock_guard lock(LogFileMutex());
  std::string content;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    std::ifstream in(path, std::ios::binary);
    if (!in || std::filesystem::is_directory(path, ec)) {
      throw EMfException("Cannot open file " + path);
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw EMfException("Cannot open file " + path);
  }
  std::string lines = NormalizedLines(content);
  lines += TimeStampNow();
  lines += '\t';
  lines += OneLine(text);
  lines += "\r\n";
  if (!ReplaceFileContent(files_, path, lines)) throw EMfException("Cannot create file " + path);
}

}  // namespace mailferry

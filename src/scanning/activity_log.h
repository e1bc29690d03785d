// The activity log: time-stamped lines that the main window and the scan run append to the file
// "MFY.log" in a data directory.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/file_replacer.h"
#include "platform/locale_formats.h"

namespace mailferry {

// Appends lines to the log file of a data directory. Every append, by any instance on any thread,
// runs under one process-wide lock, so appends from the main thread and a scan run never
// interleave and no line is lost. Safe to use from any thread; the ports must outlive the object.
class ActivityLog {
 public:
  // formats == nullptr renders time stamps with the process's formats as they are at each append
  // (the desktop program installs its own at start-up).
  explicit ActivityLog(const Clock& clock = SystemClock(),
                       FileReplacer& files = SystemFileReplacer(),
                       const LocaleFormats* formats = nullptr);

  // Appends the line "<time stamp> TAB <text>" to data_dir + "MFY.log": the file's lines (each
  // ended by CR LF, a lone CR or a lone LF; a last line without an end counts too) are read,
  // the new line is added after the last one, and all are written back, each followed by CR LF.
  // The file is replaced only once the new content is complete (mode 0600), so a failure keeps
  // the old lines. A CR or LF inside text would start a line without time stamp, so the text
  // is put on one line (OneLine). Raises EMfException "Cannot open file
  // %s" when an existing file cannot be read and "Cannot create file %s" when the new content
  // cannot be written.
  void Append(const std::string& data_dir, std::string_view text) const;

  // The time stamp of now, as the log and the status line show it.
  std::string TimeStampNow() const;

 private:
  const Clock& clock_;
  FileReplacer& files_;
  const LocaleFormats* formats_;
};

}  // namespace mailferry

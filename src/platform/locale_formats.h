// The LocaleFormats port: the user's short date and long time formats, and the time stamp the
// program shows and logs, rendered with them.
#pragma once

#include <string>

namespace mailferry {

// Renders local date-times (days since 1899-12-30) as the user's regional settings prescribe.
// Implementations are safe to use from any thread.
class LocaleFormats {
 public:
  virtual ~LocaleFormats() = default;

  // The date part of date_time in the user's short date format.
  virtual std::string FormatShortDate(double date_time) const = 0;

  // The time of day of date_time in the user's long time format.
  virtual std::string FormatLongTime(double date_time) const = 0;
};

// The time stamp of the activity log and the status line: the short date, one blank and the long
// time; at exactly midnight (hours, minutes and seconds 0, whatever the milliseconds) the date
// alone.
std::string FormatTimeStamp(const LocaleFormats& formats, double date_time);

// The process's formats: the ones installed at start-up (the desktop program installs its
// toolkit's), otherwise those of the C library's locale from the environment.
const LocaleFormats& ProcessLocaleFormats();

// Installs the process's formats; nullptr restores the default. Call at start-up before any other
// thread exists; the object must live until the program ends or is uninstalled.
void SetProcessLocaleFormats(const LocaleFormats* formats);

}  // namespace mailferry

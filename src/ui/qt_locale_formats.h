// The LocaleFormats port from Qt: the short date and long time formats of a QLocale (the user's
// system locale in the desktop program).
#pragma once

#include <QLocale>
#include <QString>

#include "platform/locale_formats.h"

namespace mailferry {

// The formats are read once, at construction; rendering is safe from any thread. The long time
// format is used without its time-zone part, since the program's time stamps are plain local times.
class QtLocaleFormats : public LocaleFormats {
 public:
  explicit QtLocaleFormats(const QLocale& locale = QLocale::system());

  std::string FormatShortDate(double date_time) const override;
  std::string FormatLongTime(double date_time) const override;

  const QString& short_date_format() const { return short_date_format_; }
  const QString& long_time_format() const { return long_time_format_; }

 private:
  const QLocale locale_;
  const QString short_date_format_;
  const QString long_time_format_;
};

// A Qt date-time format without its time-zone letters ("t" outside quotes) and the blanks they
// leave at either end.
QString WithoutTimeZone(const QString& format);

}  // namespace mailferry

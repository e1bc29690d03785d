#include "ui/qt_locale_formats.h"

#include <QDate>
#include <QTime>

#include "common/date_time.h"

namespace mailferry {

QString WithoutTimeZone(const QString& format) {
  QString result;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u't') continue;
    result += c;
  }
  return result.trimmed();
}

QtLocaleFormats::QtLocaleFormats(const QLocale& locale)
    : locale_(locale),
      short_date_format_(locale.dateFormat(QLocale::ShortFormat)),
      long_time_format_(WithoutTimeZone(locale.timeFormat(QLocale::LongFormat))) {}

std::string QtLocaleFormats::FormatShortDate(double date_time) const {
  const DateTimeParts parts = DecodeDateTime(date_time);
  return locale_.toString(QDate(parts.year, parts.month, parts.day), short_date_format_)
      .toStdString();
}

std::string QtLocaleFormats::FormatLongTime(double date_time) const {
  const DateTimeParts parts = DecodeDateTime(date_time);
  return locale_
      .toString(QTime(parts.hour, parts.minute, parts.second, parts.millisecond), long_time_format_)
      .toStdString();
}

}  // namespace mailferry

#include "platform/locale_formats.h"

#include "common/date_time.h"

namespace mailferry {

std::string FormatTimeStamp(const LocaleFormats& formats, double date_time) {
  const DateTimeParts parts = DecodeDateTime(date_time);
  std::string stamp = formats.FormatShortDate(date_time);
  if (parts.hour == 0 && parts.minute == 0 && parts.second == 0) return stamp;
  stamp += ' ';
  stamp += formats.FormatLongTime(date_time);
  return stamp;
}

}  // namespace mailferry

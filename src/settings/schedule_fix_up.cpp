#include "settings/schedule_fix_up.h"

namespace mailferry {

int FixUpSchedule(TMemTable& db_system) {
  TField& schedule = db_system.FieldByName("Schedule");
  const int minutes = schedule.AsInteger();
  if (minutes != 0) return minutes;
  db_system.Edit();
  schedule.SetAsInteger(kDefaultScheduleMinutes);
  db_system.Post();
  return kDefaultScheduleMinutes;
}

}  // namespace mailferry

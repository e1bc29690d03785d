// The start-up fix-up of the scan schedule: a schedule of 0 minutes never stays in force.
#pragma once

#include "settings/mem_table.h"

namespace mailferry {

inline constexpr int kDefaultScheduleMinutes = 5;

// The minutes between timed scans stored in the system table's current row. When that is 0 (an
// empty field, or no row yet), the row is put into edit state (an empty table gets its row with
// the defaults), Schedule := 5 and the row is posted in memory; 5 is returned.
int FixUpSchedule(TMemTable& db_system);

}  // namespace mailferry

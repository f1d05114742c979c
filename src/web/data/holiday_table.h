// The holidays table (hostHoliday, db/), read and written on a connection of any
// backend (store/connection.h) with bound values: the pages read the days
// they show, `ostrand holidays` imports and lists, `ostrand demo-db`
// writes the demo set. An import runs in one transaction: it is stored
// whole or not at all. Every function throws DatabaseError when the
// database refuses (a table missing: store::UpgradeHostTables creates it).
#pragma once

#include <cstddef>
#include <vector>

#include "core/date.h"
#include "holidays/holiday.h"
#include "store/connection.h"

namespace ostrand::holidays {

// The entries from `first` to `last` (both included, times of day
// ignored), by date. A row whose date or day-off value does not read is
// left out.
std::vector<Holiday> HolidaysBetween(store::Connection& db, const DateTime& first,
                                     const DateTime& last);

// What an import did.
struct HolidayImport {
  std::size_t written = 0;       // days written
  std::size_t replaced = 0;      // of them, days that held an entry already (not a demo one)
  std::size_t demo_removed = 0;  // demo entries removed
};

// Stores the days (each date once), replacing the entries of their dates,
// and removes the demo entries of every year they touch: a real calendar
// of a year supersedes the demo set of that year.
HolidayImport ImportHolidays(store::Connection& db, const std::vector<Holiday>& days);

// Writes the days as they are (their demo marks included), replacing the
// entries of their dates. Opens no transaction of its own: the demo
// writer calls it inside the one that writes the whole demo database.
void WriteHolidays(store::Connection& db, const std::vector<Holiday>& days);

}  // namespace ostrand::holidays

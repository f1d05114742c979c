// ostrand_day_start(x): an SQL function of the SQLite backend that returns
// exactly what julianday(x, 'start of day') returns, for every x. A
// translated DATEDIFF that is not a plain period condition (those become
// range comparisons, store/dialect.h) calls it for each row it tests, and
// SQLite's general date parser (modifier included) would be most of such a
// query's time.
//
// Text in the form the schedule stores, 'YYYY-MM-DD' or
// 'YYYY-MM-DD HH:MM:SS' (a real calendar date, a time within 00:00:00 ..
// 23:59:59, years 100 .. 9999), is read here. Anything else (NULL, numbers,
// other date forms, time zones, 'now') is handed to SQLite's own julianday
// on the same connection, so no value ever differs.
#pragma once

#include <sqlite3.h>

namespace ostrand::store {

// Adds ostrand_day_start to the connection `db` (which keeps it until it is
// closed). Returns SQLite's result code (SQLITE_OK on success).
int RegisterDayStart(sqlite3* db);

}  // namespace ostrand::store

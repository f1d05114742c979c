// The Monday-to-Sunday week scheme. Each function reads its argument as a
// date (a date, a day serial, or date text; see Value::ToDate) and throws
// Error naming it when it does not read as one.
#pragma once

#include "core/value.h"

namespace ostrand::calendar {

// The Monday on or before the first day of the date's month, at midnight.
Value GetFirstMonday(const Value& dtDate);

// The week number of the date within its month, as a 16-bit integer: 1 plus
// the number of Mondays among the days of the month before the date (1..6).
Value CountWeek(const Value& dtDate);

// The Monday on or before the date, keeping its time of day. A value that
// already is a Monday comes back unchanged and of the same kind (a Monday
// given as text stays that text); null comes back as null.
Value GetPrevMonday(const Value& dtDate);

}  // namespace ostrand::calendar

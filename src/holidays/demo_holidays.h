// The demo holiday set that `ostrand demo-db` writes: the holidays on
// fixed dates (元旦 1 January, 劳动节 1 to 5 May, 国庆节 1 to 7 October) and
// invented make-up working days on the nearest weekend days around the
// longer ones. Every entry is marked as demo: it shows how holidays look,
// it is no official calendar, and an import of a year's real calendar
// replaces it (the web host's holiday table).
#pragma once

#include <vector>

#include "holidays/holiday.h"

namespace ostrand::holidays {

// The demo entries of `year`, by date. Throws Error for a year outside
// 100..9999.
std::vector<Holiday> DemoHolidays(int year);

}  // namespace ostrand::holidays

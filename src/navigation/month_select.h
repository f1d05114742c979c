// The month picker of a month view page: the caption of the shown month
// between four arrow links that reload the current page a year back, a
// month back, a month forward and a year forward, for the same person.
#pragma once

#include <string>
#include <string_view>

#include "core/value.h"
#include "navigation/link_stamp.h"

namespace ostrand::navigation {

// The picker for dtDate (a date, or a value that reads as one) and the
// person pID, linking to `url`. One line without line breaks:
//   link(-12 months) link(-1 month) "2001年12月" link(+1 month) link(+12 months)
// Month steps keep the day of month (clamped to the end of a shorter month)
// and the time of day. Each link reads the time stamp and "rnd" afresh.
// Throws Error when dtDate does not read as a date or a step leaves the
// supported range; nothing is read from the stamp's sources then.
std::string DispMonthSelect(std::string_view url, const Value& dtDate, const Value& pID,
                            const LinkStamp& stamp);

// The days for which DispMonthSelect succeeds: those a year's step from
// either end of the calendar, 101-1-1 .. 9998-12-31.
DayRange MonthSelectDays();

}  // namespace ostrand::navigation

// The week picker of a week view page: the caption of the shown week (year,
// month and week of the month) between four arrow links that reload the
// current page a month back, a week back, a week forward and a month
// forward, for the same person.
#pragma once

#include <string>
#include <string_view>

#include "core/value.h"
#include "navigation/link_stamp.h"

namespace ostrand::navigation {

// The picker for dtDate (a date, or a value that reads as one) and the
// person pID, linking to `url`. One line without line breaks, each link
// followed by one space:
//   link(-1 month) link(-7 days) "2001年12月第2周" link(+7 days) link(+1 month)
// The week number is calendar::CountWeek of dtDate; the caption always shows
// dtDate's own month, even where a week step crosses into another one. Day
// and month steps keep the time of day; month steps clamp the day of month
// to the end of a shorter month. Each link reads the time stamp and "rnd"
// afresh. Throws Error when dtDate does not read as a date or a step leaves
// the supported range; nothing is read from the stamp's sources then.
std::string DispWeekSelect(std::string_view url, const Value& dtDate, const Value& pID,
                           const LinkStamp& stamp);

// The days for which DispWeekSelect succeeds: those a month's step from
// either end of the calendar, 100-2-1 .. 9999-11-30.
DayRange WeekSelectDays();

}  // namespace ostrand::navigation

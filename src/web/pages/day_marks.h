// Today, weekends and holidays on every page. What a day is comes from
// holidays/day_kind.h; here is how the pages show it: the classes a day's
// cells carry ("weekend", "day-off", "workday", and "today"), the tooltip
// and tag of a holiday, the list of a period's holidays under a view, and,
// on the component's views (whose markup stays as the component writes
// it), the element from which the host script /static/days.js marks their
// cells in the browser:
//
//   <div id="day-marks" hidden data-today="2026-12-08"
//        data-days="{&quot;2026-12-05&quot;:[&quot;weekend&quot;], ...}"
//        data-columns-from="2026-12-01"></div>
//
// data-days maps each day of the period that is no ordinary working day to
// [class] or [class, name, tooltip, tag]; data-columns-from, on the leader
// summaries, is the date of the first day column (the k-th column after
// the name is that date plus k - 1). The personal views' cells carry their
// date in their onclick (manage('2026-12-5')).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "holidays/day_kind.h"
#include "web/i18n/messages.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

// "" for an ordinary working day, else "weekend", "day-off" or "workday".
std::string_view DayKindClass(holidays::DayKind kind);

// The classes of a day's cells: the kind's class and "today" on today,
// separated by a blank; empty for an ordinary day that is not today.
std::string DayClasses(const DateTime& day, const DateTime& today,
                       const holidays::HolidayCalendar& calendar);

// The short tag of an entry: 休 for a day off, 班 for a working day.
std::string_view HolidayTag(Language language, const holidays::Holiday& day);
// The tooltip of an entry: its name and tag, "国庆节（休）", with a note
// when it is a demo entry.
std::string HolidayTip(Language language, const holidays::Holiday& day);
// A day as month and day of month: "10月1日", "1 October".
std::string ShortDate(Language language, const DateTime& day);

// The entries from `first` to `last` in the request's database. Throws
// what the database throws.
holidays::HolidayCalendar HolidaysOf(PageRequest& request, const DateTime& first,
                                     const DateTime& last);

// Appends the #day-marks element for the days from `first` to `last` and
// the script that reads it.
void AppendDayMarks(std::string& out, Language language, const DateTime& today, const DateTime& first,
                    const DateTime& last, const holidays::HolidayCalendar& calendar,
                    std::optional<DateTime> columns_from);

// Appends ul.day-notes, one item per entry from `first` to `last` ("10月1日
// 国庆节（休）"); nothing when there is none.
void AppendHolidayNotes(std::string& out, Language language, const DateTime& first, const DateTime& last,
                        const holidays::HolidayCalendar& calendar);

// The Monday on or before the day, at midnight.
DateTime MondayOf(const DateTime& day);

}  // namespace ostrand::web

// Reading holiday files, for `ostrand holidays import`. Plain functions on
// text that never throw: every record or event that cannot be taken is
// reported with its line and a reason, and the caller decides (the import
// writes nothing while a file has any problem).
//
//   CSV (RFC 4180, as exports/csv.h reads it): one day per record,
//     date,name,off|work
//     2026-10-01,国庆节,off
//     2026-10-11,国庆节调休上班,work
//   The date is Y-M-D or Y/M/D; "off" marks a day off, "work" a working day
//   (both in any case). A first record "date,name,..." (or "日期,...") is a
//   heading and skipped; empty fields after the third are ignored.
//
//   iCalendar (RFC 5545, read by feeds::ReadCalendar): one event per
//   holiday; an all-day event over several days gives each of its days
//   the event's SUMMARY as name. An event is a working day when its first
//   CATEGORIES value is "work", "工作日", "班", "补班" or "上班", or its
//   SUMMARY holds "补班" or "上班" or ends in "班" (brackets and blanks
//   after it aside); otherwise each of its days is a day off. A timed
//   event covers the days from its start to its end in the machine's time
//   zone (an end at midnight does not count that day).
//
// Refused: dates outside years 100..9999, names that are empty, longer
// than kMaxHolidayNameLength characters, not UTF-8 or holding a control
// character, a date given twice, an event of more than kMaxHolidayDays
// days, and a file of more than kMaxFileDays days.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "holidays/holiday.h"

namespace ostrand::holidays {

// The longest holiday one event may give, in days.
inline constexpr int kMaxHolidayDays = 31;
// The most days one file may give.
inline constexpr std::size_t kMaxFileDays = 5000;

struct HolidayProblem {
  int line = 0;  // 1-based line of the file
  std::string reason;
};

struct HolidayFile {
  std::vector<Holiday> days;  // by date, each date once; none demo
  std::vector<HolidayProblem> problems;  // by line
};

HolidayFile ReadHolidayCsv(std::string_view text);
HolidayFile ReadHolidayCalendar(std::string_view text);

// ReadHolidayCalendar when the text (after a byte order mark and blank
// lines) begins with BEGIN:VCALENDAR, else ReadHolidayCsv.
HolidayFile ReadHolidayFile(std::string_view text);

}  // namespace ostrand::holidays

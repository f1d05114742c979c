// What kind of day a date is, the one rule every page marks days by: a
// holiday of the calendar decides (a day off, or a working day even on a
// weekend); otherwise Saturday and Sunday are weekend days and the rest
// ordinary working days.
#pragma once

#include <map>
#include <vector>

#include "core/date.h"
#include "holidays/holiday.h"

namespace ostrand::holidays {

enum class DayKind {
  kWorkday,     // Monday to Friday, no holiday
  kWeekend,     // Saturday or Sunday, no holiday
  kDayOff,      // a holiday that is a day off
  kWorkingDay,  // a day worked in place of one off (a holiday entry marked as work)
};

// The kind of `date` given its holiday entry, or null when it has none.
DayKind KindOfDay(const DateTime& date, const Holiday* holiday);

// True for the kinds nobody works on: weekend days and days off.
inline bool IsDayOff(DayKind kind) { return kind == DayKind::kWeekend || kind == DayKind::kDayOff; }

// The holidays of a stretch of days, looked up by date.
class HolidayCalendar {
 public:
  HolidayCalendar() = default;
  // Takes the entries as read (HolidaysBetween); a later entry of a date
  // replaces an earlier one.
  explicit HolidayCalendar(std::vector<Holiday> days);

  // The entry of that date (its time of day ignored), or null.
  const Holiday* Find(const DateTime& date) const;
  // KindOfDay with the date's entry.
  DayKind KindOf(const DateTime& date) const { return KindOfDay(date, Find(date)); }
  // Every entry, by date.
  std::vector<const Holiday*> Entries() const;

 private:
  std::map<std::int64_t, Holiday> days_;  // by day serial
};

}  // namespace ostrand::holidays

#include "holidays/day_kind.h"

namespace ostrand::holidays {

DayKind KindOfDay(const DateTime& date, const Holiday* holiday) {
  if (holiday != nullptr) return holiday->day_off ? DayKind::kDayOff : DayKind::kWorkingDay;
  const int weekday = date.weekday();  // Sunday 1 .. Saturday 7
  return weekday == 1 || weekday == 7 ? DayKind::kWeekend : DayKind::kWorkday;
}

HolidayCalendar::HolidayCalendar(std::vector<Holiday> days) {
  for (Holiday& day : days) {
    const std::int64_t serial = day.date.day();
    days_.insert_or_assign(serial, std::move(day));
  }
}

const Holiday* HolidayCalendar::Find(const DateTime& date) const {
  const auto found = days_.find(date.day());
  return found == days_.end() ? nullptr : &found->second;
}

std::vector<const Holiday*> HolidayCalendar::Entries() const {
  std::vector<const Holiday*> entries;
  entries.reserve(days_.size());
  for (const auto& [serial, day] : days_) entries.push_back(&day);
  return entries;
}

}  // namespace ostrand::holidays

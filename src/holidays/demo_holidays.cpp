#include "holidays/demo_holidays.h"

#include <algorithm>

namespace ostrand::holidays {
namespace {

bool IsWeekend(const DateTime& day) { return day.weekday() == 1 || day.weekday() == 7; }

// A stretch of days off, with working days on the nearest weekend day
// before it and, when `after`, after it.
void AddBlock(std::vector<Holiday>& out, int year, int month, int first_day, int days,
              const char* name, bool before, bool after) {
  const DateTime first = DateTime::FromCivil(year, month, first_day);
  const DateTime last = first.AddDays(days - 1);
  for (DateTime d = first; d <= last; d = d.AddDays(1)) out.push_back({d, name, true, true});
  const std::string work = std::string(name) + "调休上班";
  if (before) {
    DateTime d = first.AddDays(-1);
    while (!IsWeekend(d)) d = d.AddDays(-1);
    out.push_back({d, work, false, true});
  }
  if (after) {
    DateTime d = last.AddDays(1);
    while (!IsWeekend(d)) d = d.AddDays(1);
    out.push_back({d, work, false, true});
  }
}

}  // namespace

std::vector<Holiday> DemoHolidays(int year) {
  std::vector<Holiday> days;
  AddBlock(days, year, 1, 1, 1, "元旦", false, false);
  AddBlock(days, year, 5, 1, 5, "劳动节", true, false);
  AddBlock(days, year, 10, 1, 7, "国庆节", true, true);
  std::sort(days.begin(), days.end(),
            [](const Holiday& a, const Holiday& b) { return a.date < b.date; });
  return days;
}

}  // namespace ostrand::holidays

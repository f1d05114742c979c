#include "calendar/week.h"

namespace ostrand::calendar {
namespace {
constexpr int kMonday = 2;
}  // namespace

Value GetFirstMonday(const Value& dtDate) {
  const CivilDate c = dtDate.ToDate().civil();
  const DateTime first = DateTime::FromCivil(c.year, c.month, 1);
  return Value::Date(first.AddDays(-((first.weekday() - kMonday + 7) % 7)));
}

Value CountWeek(const Value& dtDate) {
  const CivilDate c = dtDate.ToDate().civil();
  // Weekday of day 1; each Monday among days 1 .. day-1 adds one.
  const int first_weekday = DateTime::FromCivil(c.year, c.month, 1).weekday();
  const int first_monday = 1 + (kMonday - first_weekday + 7) % 7;  // day of month
  int count = 1;
  if (c.day > first_monday) count += (c.day - 1 - first_monday) / 7 + 1;
  return Value::Int16(static_cast<std::int16_t>(count));
}

Value GetPrevMonday(const Value& dtDate) {
  // The weekday of null is null and no step is taken.
  if (dtDate.is_null()) return dtDate;
  const DateTime d = dtDate.ToDate();
  const int back = (d.weekday() - kMonday + 7) % 7;
  if (back == 0) return dtDate;
  return Value::Date(d.AddDays(-back));
}

}  // namespace ostrand::calendar

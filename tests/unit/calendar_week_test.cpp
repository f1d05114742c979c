#include <gtest/gtest.h>

#include "calendar/week.h"
#include "core/error.h"

namespace ostrand::calendar {
namespace {

Value D(int y, int m, int d, int hh = 0, int mi = 0) {
  return Value::Date(DateTime::FromCivil(y, m, d, hh, mi));
}

struct WeekRow {
  int y, m, d;
  int first_y, first_m, first_d;
  int week;
  int prev_y, prev_m, prev_d;
};

TEST(Week, WorkedTable) {
  const WeekRow rows[] = {
      {2001, 12, 1, 2001, 11, 26, 1, 2001, 11, 26}, {2001, 12, 2, 2001, 11, 26, 1, 2001, 11, 26},
      {2001, 12, 3, 2001, 11, 26, 1, 2001, 12, 3},  {2001, 12, 4, 2001, 11, 26, 2, 2001, 12, 3},
      {2001, 12, 10, 2001, 11, 26, 2, 2001, 12, 10}, {2001, 12, 12, 2001, 11, 26, 3, 2001, 12, 10},
      {2001, 12, 31, 2001, 11, 26, 5, 2001, 12, 31}, {2001, 10, 1, 2001, 10, 1, 1, 2001, 10, 1},
      {2001, 10, 2, 2001, 10, 1, 2, 2001, 10, 1},   {2001, 10, 8, 2001, 10, 1, 2, 2001, 10, 8},
      {2001, 10, 31, 2001, 10, 1, 6, 2001, 10, 29}, {2001, 7, 1, 2001, 6, 25, 1, 2001, 6, 25},
      {2001, 7, 31, 2001, 6, 25, 6, 2001, 7, 30},   {2002, 1, 15, 2001, 12, 31, 3, 2002, 1, 14},
      {2002, 2, 28, 2002, 1, 28, 5, 2002, 2, 25},
  };
  for (const WeekRow& r : rows) {
    const Value date = D(r.y, r.m, r.d);
    SCOPED_TRACE(date.ToText());
    EXPECT_EQ(GetFirstMonday(date), D(r.first_y, r.first_m, r.first_d));
    EXPECT_EQ(CountWeek(date), Value::Int16(static_cast<std::int16_t>(r.week)));
    EXPECT_EQ(GetPrevMonday(date), D(r.prev_y, r.prev_m, r.prev_d));
  }
}

TEST(Week, CountWeekMatchesTheDayByDayCountForEveryDayOfSeveralYears) {
  DateTime d = DateTime::FromCivil(1999, 1, 1);
  for (int i = 0; i < 366 * 4; ++i, d = d.AddDays(1)) {
    int count = 1;
    for (int day = 1; day < d.day_of_month(); ++day) {
      if (DateTime::FromCivil(d.year(), d.month(), day).weekday() == 2) ++count;
    }
    ASSERT_EQ(CountWeek(Value::Date(d)), Value::Int16(static_cast<std::int16_t>(count)))
        << d.ToText();
  }
}

TEST(Week, TimeOfDay) {
  const Value v = D(2001, 12, 12, 14, 30);
  EXPECT_EQ(GetFirstMonday(v), D(2001, 11, 26));
  EXPECT_EQ(GetPrevMonday(v), D(2001, 12, 10, 14, 30));
  EXPECT_EQ(GetPrevMonday(v).ToText(), "2001-12-10 14:30:00");
}

TEST(Week, AMondayComesBackAsGiven) {
  const Value text = Value::Text("2001-12-10");
  EXPECT_EQ(GetPrevMonday(text), text);
  const Value padded = Value::Text(" 2001/12/10 ");
  EXPECT_EQ(GetPrevMonday(padded), padded);
  // A Tuesday given as text comes back as a date.
  EXPECT_EQ(GetPrevMonday(Value::Text("2001-12-11")), D(2001, 12, 10));
}

TEST(Week, EmptyNullAndBadArguments) {
  EXPECT_EQ(GetFirstMonday(Value()), D(1899, 11, 27));
  EXPECT_EQ(CountWeek(Value()), Value::Int16(5));
  EXPECT_EQ(GetPrevMonday(Value()), D(1899, 12, 25));
  EXPECT_EQ(GetPrevMonday(Value::Null()), Value::Null());
  EXPECT_THROW(GetFirstMonday(Value::Null()), Error);
  EXPECT_THROW(CountWeek(Value::Null()), Error);
  EXPECT_THROW(GetFirstMonday(Value::Text("tomorrow")), Error);
  EXPECT_THROW(GetPrevMonday(Value::Text("2001-02-30")), Error);
}

}  // namespace
}  // namespace ostrand::calendar

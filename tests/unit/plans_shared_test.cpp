#include <gtest/gtest.h>

#include "core/error.h"
#include "plans/day_tables.h"
#include "plans/sql_values.h"

namespace ostrand::plans {
namespace {

DateTime D(int y, int m, int d, int hh = 0) { return DateTime::FromCivil(y, m, d, hh); }

TEST(SqlValues, IdsMustReadAsNumbers) {
  EXPECT_EQ(IdForSql(Value::Int32(12), "person id"), "12");
  EXPECT_EQ(IdForSql(Value::Double(12.5), "person id"), "12.5");
  EXPECT_EQ(IdForSql(Value::Text("12"), "person id"), "12");
  EXPECT_EQ(IdForSql(Value::Text(" 7 "), "person id"), " 7 ");  // the SQL gets the value's text
  for (const Value& bad : {Value(), Value::Null(), Value::Bool(true), Value::Text(""),
                           Value::Text("1 or 1=1"), Value::Text("12;drop table person"),
                           Value::Date(D(2001, 12, 5))}) {
    EXPECT_THROW(IdForSql(bad, "person id"), Error) << KindName(bad.kind());
  }
  try {
    IdForSql(Value::Text("1 or 1=1"), "person id");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "invalid person id '1 or 1=1'");
  }
}

TEST(SqlValues, DatesMustReadAsDates) {
  EXPECT_EQ(DateForSql(Value::Date(D(2001, 12, 5, 14)), "day"), "2001-12-5 14:00:00");
  EXPECT_EQ(DateForSql(Value::Text("2001-12-05"), "day"), "2001-12-05");
  for (const Value& bad : {Value(), Value::Null(), Value::Double(37230), Value::Text("x"),
                           Value::Text("2001-12-5') or 1=1 --")}) {
    EXPECT_THROW(DateForSql(bad, "day"), Error);
  }
}

TEST(DayTables, MarksOnlyTheDaysInsideThePeriod) {
  DayTables t;
  // 28 November to 2 December, shown for December.
  t.Mark(D(2001, 11, 28, 9), D(2001, 12, 2, 17), D(2001, 12, 1), D(2001, 12, 31),
         Value::Int32(3), "a");
  EXPECT_EQ(t.text[1], "a||");
  EXPECT_EQ(t.text[2], "a||");
  EXPECT_EQ(t.text[28], "");
  EXPECT_EQ(t.kind[2], Value::Int32(3));
  EXPECT_TRUE(t.kind[3].is_empty());
  // A later plan on the same day appends and takes over the kind.
  t.Mark(D(2001, 12, 2, 14), D(2001, 12, 2, 15), D(2001, 12, 1), D(2001, 12, 31),
         Value::Int32(1), "b");
  EXPECT_EQ(t.text[2], "a||b||");
  EXPECT_EQ(t.kind[2], Value::Int32(1));
}

TEST(DayTables, LongPlansMarkEachDayOnceAndEndBeforeStartMarksNothing) {
  DayTables t;
  t.Mark(D(1950, 1, 1), D(2050, 12, 31), D(2001, 12, 1), D(2001, 12, 31), Value::Int32(2), "x");
  for (int n = 1; n <= 31; ++n) EXPECT_EQ(t.text[n], "x||") << n;
  DayTables u;
  u.Mark(D(2001, 12, 5), D(2001, 12, 4), D(2001, 12, 1), D(2001, 12, 31), Value::Int32(2), "y");
  for (int n = 0; n < 32; ++n) EXPECT_EQ(u.text[n], "") << n;
}

TEST(DayTables, ReplaceSeparators) {
  EXPECT_EQ(ReplaceSeparators("a||b||", "<br>"), "a<br>b<br>");
  EXPECT_EQ(ReplaceSeparators("|||", "\r\n"), "\r\n|");
  EXPECT_EQ(ReplaceSeparators("", "<br>"), "");
}

}  // namespace
}  // namespace ostrand::plans

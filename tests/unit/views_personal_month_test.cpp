#include <gtest/gtest.h>


#include "core/date.h"
#include "plans_test_db.h"
#include "views/personal_month.h"

namespace ostrand::plans_test {
namespace {

Value Day(int y, int m, int d) { return Value::Date(DateTime::FromCivil(y, m, d)); }

const std::string kBlank = "<td class='sch0'>&nbsp;</td>";
const std::string kTraceOpen = "<span id=debugID style='display:none'>";

std::string Cell(const std::string& kind, const std::string& date, int n,
                 const std::string& content) {
  return "<td class='sch" + kind + "' valign='top' onclick=manage('" + date + "');>" +
         std::to_string(n) + "<br><span style='font-size:12px;'>" + content + "</span></td>\r\n";
}

std::string Grid(store::QuerySource& db, const Value& date, int viewer = 7) {
  return views::DispMonthContent(db, date, Value::Int32(7), Value::Int32(viewer), nullptr);
}

class ViewsPersonalMonth : public PlansDb {
 protected:
  void AddWinter() {
    AddPlan("2001-11-28 09:00:00", "2001-12-02 18:00:00", 3, 1, "'  出差上海 '");
    AddPlan("2001-12-05 14:00:00", "2001-12-05 15:00:00", 4, 1, "NULL");
    AddPlan("2001-12-05 08:00:00", "2001-12-05 10:00:00", 2, 0, "'早会'");
    AddPlan("2001-12-05 08:00:00", "2001-12-05 10:00:00", 2, 1, "'他人'", 8);
  }
};

TEST(ViewsPersonalMonthHeader, HeadingRow) {
  EXPECT_EQ(views::DispMonthHeader(),
            "<table border=1 bordercolor=#FFFFFF cellspadding=0 cellspacing=0 width=100% "
            "height=85%>\r\n<tr class='schh'><th height='23' nowrap>星期一</th><th height='23' "
            "nowrap>星期二</th><th height='23' nowrap>星期三</th><th height='23' "
            "nowrap>星期四</th><th height='23' nowrap>星期五</th><th height='23' "
            "nowrap>星期六</th><th height='23' nowrap>星期日</th></tr>\r\n");
}

TEST_P(ViewsPersonalMonth, RowsAndBlankCellsFollowTheCalendar) {
  struct Case {
    Value date;
    int rows, blanks;
    std::string first_row_start;
  };
  const Case cases[] = {
      {Day(2010, 2, 14), 4, 0, Cell("", "2010-2-1", 1, "")},           // Monday to Sunday
      {Day(2001, 10, 31), 5, 4, Cell("", "2001-10-1", 1, "")},         // starts on a Monday
      {Day(2001, 9, 9), 5, 5, kBlank},                                 // ends on a Sunday
      {Value::Text("2001-4-30 13:00"), 6, 12, kBlank + kBlank},        // 30 days from a Sunday
      {Day(2001, 12, 12), 6, 11, kBlank},                              // 31 days from a Saturday
      {Day(2002, 1, 15), 5, 4, kBlank + Cell("", "2002-1-1", 1, "")},  // row from December
  };
  for (const Case& c : cases) {
    const std::string grid = Grid(store_, c.date);
    EXPECT_EQ(Count(grid, " <tr height=40>\r\n"), c.rows) << c.date.ToText();
    EXPECT_EQ(Count(grid, " </tr>\r\n"), c.rows);
    EXPECT_EQ(Count(grid, kBlank), c.blanks) << c.date.ToText();
    EXPECT_EQ(grid.rfind(" <tr height=40>\r\n" + c.first_row_start, 0), 0u) << c.date.ToText();
    EXPECT_TRUE(grid.ends_with(" </tr>\r\n </table>\r\n"));
  }
}

TEST_P(ViewsPersonalMonth, PlansFillTheirDaysOfTheShownMonth) {
  AddWinter();
  const std::string dec = Grid(store_, Day(2001, 12, 20));
  EXPECT_TRUE(dec.starts_with(" <tr height=40>\r\n" + kBlank + kBlank + kBlank + kBlank + kBlank +
                              Cell("3", "2001-12-1", 1, "出差上海<br>") +
                              Cell("3", "2001-12-2", 2, "出差上海<br>") + " </tr>\r\n"));
  EXPECT_EQ(Count(dec, "出差上海"), 2);
  EXPECT_NE(dec.find(Cell("", "2001-12-3", 3, "")), std::string::npos);
  // Two plans one day: contents by start, class of the later; a null content
  // is an empty line.
  EXPECT_NE(dec.find(Cell("4", "2001-12-5", 5, "早会<br><br>")), std::string::npos);

  const std::string nov = Grid(store_, Value::Text("2001-11-1"));
  EXPECT_EQ(Count(nov, "出差上海<br>"), 3);
  EXPECT_NE(nov.find(Cell("3", "2001-11-28", 28, "出差上海<br>")), std::string::npos);
  EXPECT_NE(nov.find(Cell("", "2001-11-27", 27, "")), std::string::npos);

  // Another viewer sees the shared plans only, with their contents.
  const std::string other = Grid(store_, Day(2001, 12, 20), 8);
  EXPECT_NE(other.find(Cell("4", "2001-12-5", 5, "<br>")), std::string::npos);
  EXPECT_EQ(Count(other, "出差上海"), 2);
  EXPECT_EQ(Count(other, "早会") + Count(other, "他人"), 0);
}

TEST_P(ViewsPersonalMonth, TraceShowsTheQueryBeforeItRuns) {
  const std::string cond =
      "7 and DATEDIFF(dd, planStartTime, '2001-12-31') >= 0 AND DATEDIFF(dd, '2001-12-1', "
      "planEndTime)>= 0   ";
  Page own(path_, Value::Int32(7), true);
  const Value grid = own.s.DispMonth(Value::Text("2001-12-12 14:30"), Value::Text("7"));
  EXPECT_EQ(own.response->text(), kTraceOpen + kSelect + cond + "  order by planStartTime</span>");
  EXPECT_EQ(grid.text(), views::DispMonthHeader() + Grid(store_, Day(2001, 12, 1)));

  Page other(path_, Value::Null(), true);
  other.s.DispMonthContent(Day(2001, 12, 12), Value::Int32(7));
  EXPECT_EQ(other.response->text(),
            kTraceOpen + kSelect + cond + " and planFlagID=1 order by planStartTime</span>");
}

TEST_P(ViewsPersonalMonth, CenturyLongPlanMarksEachDayOnce) {
  AddPlan("1950-01-01 00:00:00", "2050-12-31 23:00:00", 2, 1, "'长期'");
  const std::string grid = Grid(store_, Day(2001, 12, 12));
  EXPECT_EQ(Count(grid, "长期<br>"), 31);
  EXPECT_EQ(Count(grid, "长期<br>长期"), 0);
  EXPECT_EQ(Count(grid, "class='sch2'"), 31);
}

TEST_P(ViewsPersonalMonth, BadInputFailsBeforeTraceOrQuery) {
  Page page(path_, Value::Int32(7), true);
  for (const Value& bad : {Value::Text("1 or 1=1"), Value(), Value::Null()}) {
    EXPECT_NE(ErrorOf([&] { page.s.DispMonth(Day(2001, 12, 1), bad); }).find("invalid person id"),
              std::string::npos);
  }
  EXPECT_NE(ErrorOf([&] { page.s.DispMonthContent(Value::Text("2001-13-1"), Value::Int32(7)); }),
            "");
  page.session->Set("personID", Value::Text("me"));
  EXPECT_NE(ErrorOf([&] { page.s.DispMonthContent(Day(2001, 12, 1), Value::Int32(7)); }), "");
  EXPECT_EQ(page.response->text(), "");
}

TEST_P(ViewsPersonalMonth, ContentsAreEscaped) {
  AddPlan("2001-12-05 09:00:00", "2001-12-05 10:00:00", 1, 1, "'<script>alert(1)</script>'");
  AddPlan("2001-12-05 11:00:00", "2001-12-05 12:00:00", 1, 1, "'it''s'");
  EXPECT_NE(
      Grid(store_, Day(2001, 12, 5))
          .find(Cell("1", "2001-12-5", 5, "&lt;script&gt;alert(1)&lt;/script&gt;<br>it&#39;s<br>")),
      std::string::npos);
}

TEST(ViewsPersonalMonthRows, NullKindAndNullTimes) {
  const Value start = Day(2001, 12, 5);
  RecordingSource db;
  db.canned = store::RecordSet({"planStartTime", "planEndTime", "Type1ID", "planContent"},
                               {{start, start, Value::Null(), Value::Text("a")}});
  EXPECT_NE(Grid(db, start).find(Cell("", "2001-12-5", 5, "a<br>")), std::string::npos);
  db.canned = store::RecordSet({"planStartTime", "planEndTime", "Type1ID", "planContent"},
                               {{start, Value::Null(), Value::Int32(1), Value::Text("a")}});
  EXPECT_NE(ErrorOf([&] { Grid(db, start); }), "");
}

INSTANTIATE_TEST_SUITE_P(Backends, ViewsPersonalMonth,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::plans_test

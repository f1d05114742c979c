#include <gtest/gtest.h>

#include "core/date.h"
#include "plans_test_db.h"
#include "views/personal_week.h"

namespace ostrand::plans_test {
namespace {

Value Day(int y, int m, int d) { return Value::Date(DateTime::FromCivil(y, m, d)); }

std::string Row(const std::string& name, const std::string& date, const std::string& cell) {
  return "<tr><td class='schh' nowrap><br>星期" + name + "<br>&nbsp;" + date +
         "&nbsp;<br><td></td><td width=100% class=td1 onclick=manage('" + date + "');>" + cell +
         "</td></tr>";
}

class ViewsPersonalWeek : public PlansDb {
 protected:
  void SetUp() override {
    PlansDb::SetUp();
    AddPlan("2001-12-10 08:00:00", "2001-12-10 09:00:00", 1, 0, "'a'");
    AddPlan("2001-12-10 10:00:00", "2001-12-10 11:00:00", 2, 1, "'b'", 7, 2);
    AddPlan("2001-12-09 22:00:00", "2001-12-10 07:00:00", 4, 1, "'c'", 7, 4);
    AddPlan("2001-12-16 10:00:00", "2001-12-16 11:00:00", 3, 1, "'d'", 7, 3);
  }
  std::string Week(const Value& date, int viewer = 7) {
    return views::DispWeek(store_, date, Value::Int32(7), Value::Int32(viewer));
  }
};

TEST_P(ViewsPersonalWeek, SevenRowsMondayToSunday) {
  const std::string expected =
      "<table cellspadding=2 cellspacing=1 width=100% >\r\n" +
      Row("一", "2001-12-10",
          "<span class=sch4 style='width:100%;'> 1.东京:c&nbsp;</span><br>"
          "<span class=sch1 style='width:100%;'> 2.办公楼:a&nbsp;</span><br>"
          "<span class=sch2 style='width:100%;'> 3.中关村:b&nbsp;</span><br>&nbsp;") +
      Row("二", "2001-12-11", "&nbsp;") + Row("三", "2001-12-12", "&nbsp;") +
      Row("四", "2001-12-13", "&nbsp;") + Row("五", "2001-12-14", "&nbsp;") +
      Row("六", "2001-12-15", "&nbsp;") +
      Row("日", "2001-12-16",
          "<span class=sch3 style='width:100%;'> 1.上海:d&nbsp;</span><br>&nbsp;") +
      "</table>\r\n";
  EXPECT_EQ(Week(Day(2001, 12, 12)), expected);
  EXPECT_EQ(Week(Day(2001, 12, 16)), expected);  // a Sunday ends its week

  const std::string other = Week(Day(2001, 12, 10), 8);
  EXPECT_EQ(Count(other, "<span"), 3);
  EXPECT_EQ(Count(other, "办公楼"), 0);
}

TEST_P(ViewsPersonalWeek, DateTextsOfTheRows) {
  // A Monday given as text keeps its form in the first row and its query.
  const std::string text_monday = Week(Value::Text("2001/12/10"));
  const std::string head = Row("一", "2001/12/10", "");
  EXPECT_TRUE(text_monday.find(head.substr(0, head.size() - 10)) != std::string::npos);
  EXPECT_EQ(Count(text_monday, "<span"), 4);
  EXPECT_NE(text_monday.find("manage('2001-12-11');"), std::string::npos);

  const std::string timed = Week(Value::Text("2001-12-12 14:30"));
  EXPECT_EQ(Count(timed, " 14:30:00&nbsp;<br>"), 7);
  EXPECT_EQ(Count(timed, " 14:30:00');>"), 7);
  EXPECT_EQ(Count(timed, "<span"), 4);

  const std::string new_year = Week(Day(2002, 1, 1));
  EXPECT_NE(new_year.find(Row("一", "2001-12-31", "&nbsp;")), std::string::npos);
  EXPECT_NE(new_year.find(Row("日", "2002-1-6", "&nbsp;")), std::string::npos);
}

TEST_P(ViewsPersonalWeek, BadInputFailsBeforeAnyQuery) {
  RecordingSource db(&store_);
  for (const Value& bad : {Value::Text("1 or 1=1"), Value(), Value::Null()}) {
    EXPECT_NE(ErrorOf([&] {
                views::DispWeek(db, Day(2001, 12, 12), bad, Value());
              }).find("invalid person id"),
              std::string::npos);
  }
  EXPECT_NE(ErrorOf([&] { views::DispWeek(db, Value::Text("soon"), Value::Int32(7), Value()); }),
            "");
  EXPECT_NE(ErrorOf([&] { views::DispWeek(db, Value::Null(), Value::Int32(7), Value()); }), "");
  EXPECT_TRUE(db.sql.empty());
}

TEST_P(ViewsPersonalWeek, MemberUsesTheSignedInPerson) {
  Page page(path_, Value::Text("7"));
  EXPECT_EQ(page.s.DispWeek(Day(2001, 12, 12), Value::Int32(7)),
            Value::Text(Week(Day(2001, 12, 12))));
  page.session->Set("personID", Value::Int32(8));
  EXPECT_EQ(page.s.DispWeek(Day(2001, 12, 12), Value::Int32(7)).text(), Week(Day(2001, 12, 12), 8));
}

INSTANTIATE_TEST_SUITE_P(Backends, ViewsPersonalWeek,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::plans_test

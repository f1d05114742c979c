// The leader's month summary: header, person month row and person rows.
#include <gtest/gtest.h>

#include "views/leader_month.h"
#include "views/leader_rows.h"
#include "views_leader_test_db.h"

namespace ostrand::views {
namespace {
using namespace ostrand::views::testing;

Value Day(int y, int m, int d, int hh = 0) { return Value::Date(DateTime::FromCivil(y, m, d, hh)); }
const std::string kEmptyCell = "<td title='' class='sch' >&nbsp;</td>";

TEST(LeaderMonthHeader, DaysOfTheMonthWithWeekdayCaptions) {
  const std::string dec = DispLeaderMonthHeader(Day(2001, 12, 5, 14));
  EXPECT_EQ(dec.substr(0, dec.find("<th height")),
            "<table border=1 cellspadding=0 cellspacing=0 width=100% >\r\n"
            "<tr class='schh'><th nowrap>姓&nbsp;&nbsp;名</th>");
  EXPECT_NE(dec.find("<th height='23' nowrap>1<br>六</th><th height='23' nowrap>2<br>日</th>"),
            std::string::npos);
  EXPECT_TRUE(dec.ends_with("<th height='23' nowrap>31<br>一</th></tr>\r\n"));
  EXPECT_EQ(Count(dec, "<th"), 32u);
  EXPECT_EQ(Count(DispLeaderMonthHeader(Value::Text("2000-2-15")), "<th"), 30u);
  EXPECT_THROW(DispLeaderMonthHeader(Value::Text("2000-2-30")), Error);
  // The last month of the calendar renders in full.
  const std::string last = DispLeaderMonthHeader(Value::Text("9999-12-5"));
  EXPECT_NE(last.find("<th height='23' nowrap>1<br>三</th>"), std::string::npos);
  EXPECT_TRUE(last.ends_with("<th height='23' nowrap>31<br>五</th></tr>\r\n"));
}

TEST_P(LeaderDb, PersonMonthSqlTextAndEmptyCells) {
  const std::string cells = DispPersonMonth(db_, Day(2001, 12, 5), Value::Int32(12));
  ASSERT_EQ(db_.sqls.size(), 1u);
  EXPECT_EQ(db_.sqls[0],
            "select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,"
            "Type1=planAddrType.planAddrTypeName,Type2=planAddr.planAddrName,planAddrDetail,"
            "planTypeID,planContent,planAddition,planFlagID from personPlan,planAddrType,planAddr "
            "where personPlan.planAddrTypeID=planAddrType.planAddrTypeID and "
            "personPlan.planAddrID=planAddr.planAddrID and personID=12 and DATEDIFF(dd, "
            "planStartTime, '2001-12-31') >= 0 AND DATEDIFF(dd, '2001-12-1', planEndTime)>= 0   "
            "and planFlagID=1 order by planStartTime ");
  std::string all_empty;
  for (int i = 0; i < 31; ++i) all_empty += kEmptyCell;
  EXPECT_EQ(cells, all_empty);
  EXPECT_EQ(Cells(DispPersonMonth(db_, Day(2000, 2, 15), Value::Int32(12))).size(), 29u);
  EXPECT_EQ(Cells(DispPersonMonth(db_, Day(2001, 2, 15), Value::Int32(12))).size(), 28u);
  EXPECT_EQ(Cells(DispPersonMonth(db_, Value::Text("2001-4-30"), Value::Int32(12))).size(), 30u);
}

TEST_P(LeaderDb, PlansMarkOnlyTheirDaysInsideTheShownMonth) {
  AddPlan(1, "2001-11-30 22:00:00", "2001-12-02 08:00:00", 2, "出差");
  AddPlan(1, "2000-12-10 09:00:00", "2001-12-03 17:00:00", 1, "long");  // spans a year
  AddPlan(1, "2001-12-10 12:00:00", "2001-12-09 12:00:00", 1, "backwards");
  const std::vector<std::string> dec =
      Cells(DispPersonMonth(db_, Day(2001, 12, 1), Value::Int32(1)));
  ASSERT_EQ(dec.size(), 31u);
  EXPECT_EQ(dec[0], "<td title='long\r\n出差\r\n' class='sch2' >◇</td>");
  EXPECT_EQ(dec[1], "<td title='long\r\n出差\r\n' class='sch2' >◇</td>");
  EXPECT_EQ(dec[2], "<td title='long\r\n' class='sch1' >△</td>");
  for (int n = 4; n <= 31; ++n) EXPECT_EQ(dec[n - 1], kEmptyCell) << n;

  const std::vector<std::string> nov =
      Cells(DispPersonMonth(db_, Day(2001, 11, 1), Value::Int32(1)));
  EXPECT_EQ(nov[29], "<td title='long\r\n出差\r\n' class='sch2' >◇</td>");
  EXPECT_EQ(nov[28], "<td title='long\r\n' class='sch1' >△</td>");
}

TEST_P(LeaderDb, DayKindMarkersContentsAndFlags) {
  AddPlan(1, "2001-12-05 14:00:00", "2001-12-05 16:00:00", 3, " 晚 ");
  AddPlan(1, "2001-12-05 09:00:00", "2001-12-05 10:00:00", 1, "早");
  AddPlan(1, "2001-12-06 09:00:00", "2001-12-06 10:00:00", 5, std::nullopt);
  AddPlan(1, "2001-12-07 09:00:00", "2001-12-07 10:00:00", 4, "private", 2);
  AddPlan(1, "2001-12-08 09:00:00", "2001-12-08 10:00:00", 2, "a<b & 'c'");
  const std::vector<std::string> c =
      Cells(DispPersonMonth(db_, Day(2001, 12, 1), Value::Text("1")));
  EXPECT_EQ(c[4], "<td title='早\r\n晚\r\n' class='sch3' >▲</td>");
  EXPECT_EQ(c[5], "<td title='\r\n' class='sch5' >&nbsp;</td>");
  EXPECT_EQ(c[6], kEmptyCell);
  EXPECT_EQ(c[7], "<td title='a&lt;b &amp; &#39;c&#39;\r\n' class='sch2' >◇</td>");
}

TEST_P(LeaderDb, PersonRowsOfASystemOrderedByDuty) {
  AddPerson(3, "王五", 2, 1);
  AddPerson(4, "O'Neil <x>", 1, 1);
  AddPerson(5, "别系统", 1, 2);
  AddPlan(3, "2000-02-29 09:00:00", "2000-02-29 10:00:00", 1, "会");
  const std::string rows =
      DispLeaderMonthContent(db_, Day(2000, 2, 15), Value::Text("1=1"), Value::Int32(1));
  EXPECT_EQ(db_.sqls.at(0),
            " select person.personID,person.personName,person.dutyID,personDuty.dutyName from "
            "person,personDuty where  person.DutyID=personDuty.DutyID and systemID=1 and 1=1 order "
            "by person.dutyID ");
  ASSERT_EQ(db_.sqls.size(), 3u);  // the list, then one query per person
  EXPECT_NE(db_.sqls[1].find("personID=4 and"), std::string::npos);
  EXPECT_EQ(Count(rows, "\r\n"), 3u);  // two rows, and the tooltip of 29 February
  EXPECT_TRUE(rows.starts_with("<tr><td class=td2 nowrap>O&#39;Neil &lt;x&gt;</td><td title"));
  const std::size_t second = rows.find("<tr><td class=td2 nowrap>王五</td>");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(Cells(rows.substr(0, second)).size(), 30u);
  EXPECT_EQ(Cells(rows.substr(second)).size(), 30u);
  EXPECT_TRUE(rows.ends_with("<td title='会\r\n' class='sch1' >△</td></tr>\r\n"));

  db_.sqls.clear();
  EXPECT_EQ(DispLeaderMonthContent(db_, Day(2000, 2, 15), Value::Text("person.dutyID=9"),
                                   Value::Text("1")),
            "");
}

// The leader's condition is T-SQL: texts compare without regard to letter
// case or trailing blanks, LIKE without regard to case, on every backend.
TEST_P(LeaderDb, ConditionsCompareTextsAsSqlServerDoes) {
  store_.Execute("INSERT INTO personDuty VALUES (3,'Chief')");
  AddPerson(3, "Li Ming", 3, 1);
  AddPerson(4, "LIU Yang", 2, 1);
  AddPerson(5, "Wang", 1, 1);
  AddPlan(4, "2001-12-05 09:00:00", "2001-12-05 10:00:00", 2, "会");
  const Value dec = Day(2001, 12, 1);
  const auto rows = [&](const std::string& cond) {
    return DispLeaderMonthContent(db_, dec, Value::Text(cond), Value::Int32(1));
  };
  const std::string li = rows("person.personID in (3, 4)");
  ASSERT_EQ(Count(li, "<tr>"), 2u);
  EXPECT_NE(li.find("<td title='会\r\n' class='sch2' >◇</td>"), std::string::npos);
  EXPECT_EQ(rows("person.personName like 'li%'"), li);
  EXPECT_EQ(rows("personName NOT LIKE 'WANG' and personName >= 'l'"), li);
  EXPECT_EQ(rows("(personDuty.dutyName = 'CHIEF  ' or personName in ('liu yang ', 'x'))"), li);
  EXPECT_EQ(rows("personDuty.dutyName <> 'chief' and personName<>'wang '"),
            rows("person.personID = 4"));
  // A malformed condition is the database's error, naming the query.
  const std::string bad = ErrorOf([&] { rows("personName = 'x' and"); });
  EXPECT_NE(bad.find("personName = 'x' and"), std::string::npos) << bad;
}

TEST_P(LeaderDb, BadInputIsRefusedBeforeAnyQuery) {
  AddPerson(3, "王五", 2, 1);
  const Value dec = Day(2001, 12, 1);
  const Value cond = Value::Text("1=1");
  for (const Value& bad : {Value(), Value::Null(), Value::Text("1 or 1=1"), Value::Text("")}) {
    EXPECT_NE(ErrorOf([&] { DispPersonMonth(db_, dec, bad); }), "");
    EXPECT_NE(ErrorOf([&] { DispLeaderMonthContent(db_, dec, cond, bad); }), "");
  }
  EXPECT_NE(ErrorOf([&] { DispPersonMonth(db_, Value::Text("2001-12-1' --"), Value::Int32(1)); }),
            "");
  EXPECT_NE(ErrorOf([&] { DispLeaderMonthContent(db_, Value::Text("x"), cond, Value::Int32(1)); }),
            "");
  EXPECT_EQ(ErrorOf([&] { DispLeaderMonthContent(db_, dec, cond, Value()); }),
            "invalid system id '(empty)'");
  const Value blank = Value::Text("  ");
  EXPECT_NE(
      ErrorOf([&] { DispLeaderMonthContent(db_, dec, blank, Value::Int32(1)); }).find("strCond"),
      std::string::npos);
  EXPECT_TRUE(db_.sqls.empty());
}

// The leader week tests of this fixture run on every backend too.
INSTANTIATE_TEST_SUITE_P(Backends, LeaderDb,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::views

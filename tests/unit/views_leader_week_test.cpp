// The leader's week summary: header, person week row, and both summaries
// through the Schedulers members (session items, debug trace).
#include <gtest/gtest.h>

#include <memory>

#include "component/schedulers.h"
#include "host/memory_context.h"
#include "views/leader_week.h"
#include "views_leader_test_db.h"

namespace ostrand::views {
namespace {
using namespace ostrand::views::testing;

Value Day(int y, int m, int d, int hh = 0, int mm = 0) {
  return Value::Date(DateTime::FromCivil(y, m, d, hh, mm));
}
std::string Heading(const std::string& day, const std::string& date) {
  return "<th height='23' nowrap>星期" + day + "<br>" + date + "</th>";
}
const std::string kEmptyWeek = [] {
  std::string s;
  for (int i = 0; i < 7; ++i) s += "<td class='sch' ></td>";
  return s;
}();

TEST(LeaderWeekHeader, MondayToSundayWithDates) {
  const std::string week =
      "<table cellspadding=0 cellspacing=1 width=100% height=85%>\r\n"
      "<tr class='schh'><th height='23' nowrap>姓名</th>" +
      Heading("一", "2001-12-3") + Heading("二", "2001-12-4") + Heading("三", "2001-12-5") +
      Heading("四", "2001-12-6") + Heading("五", "2001-12-7") + Heading("六", "2001-12-8") +
      Heading("日", "2001-12-9") + "</tr>\r\n";
  EXPECT_EQ(DispLeaderWeekHeader(Day(2001, 12, 5)), week);
  EXPECT_EQ(DispLeaderWeekHeader(Value::Text("2001-12-9")), week);  // a Sunday ends its week
  const std::string across = DispLeaderWeekHeader(Day(2002, 2, 1));
  EXPECT_NE(across.find(Heading("四", "2002-1-31") + Heading("五", "2002-2-1")), std::string::npos);
  EXPECT_NE(across.find(Heading("一", "2002-1-28")), std::string::npos);
  EXPECT_TRUE(across.ends_with(Heading("日", "2002-2-3") + "</tr>\r\n"));
  const std::string timed = DispLeaderWeekHeader(Day(2001, 12, 5, 14, 30));
  EXPECT_NE(timed.find(Heading("一", "2001-12-3 14:30:00")), std::string::npos);
  EXPECT_NE(timed.find(Heading("日", "2001-12-9 14:30:00")), std::string::npos);
  EXPECT_THROW(DispLeaderWeekHeader(Value::Text("soon")), Error);
}

TEST_P(LeaderDb, PersonWeekMarksOnlyDaysOfTheWeek) {
  EXPECT_EQ(DispPersonWeek(db_, Day(2002, 1, 30), Value::Int32(1), Value(), nullptr), kEmptyWeek);
  AddPlan(1, "2002-01-01 09:00:00", "2002-01-31 17:00:00", 2, "x");
  AddPlan(1, "2002-02-03 14:00:00", "2002-02-04 10:00:00", 4, "x");  // Sunday into next week
  AddPlan(1, "2002-02-01 12:00:00", "2002-01-31 12:00:00", 1, "x");  // ends before it starts
  const std::vector<std::string> c =
      Cells(DispPersonWeek(db_, Day(2002, 1, 30), Value::Int32(1), Value(), nullptr));
  ASSERT_EQ(c.size(), 7u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(c[i], "<td class='sch2' >北京\r\n</td>") << i;
  EXPECT_EQ(c[4], "<td class='sch' ></td>");
  EXPECT_EQ(c[5], "<td class='sch' ></td>");
  EXPECT_EQ(c[6], "<td class='sch4' >东京\r\n</td>");
  const std::vector<std::string> next =
      Cells(DispPersonWeek(db_, Day(2002, 2, 4), Value::Int32(1), Value(), nullptr));
  EXPECT_EQ(next[0], "<td class='sch4' >东京\r\n</td>");
  EXPECT_EQ(next[1], "<td class='sch' ></td>");
}

TEST_P(LeaderDb, PersonWeekShowsFullTextsOnlyToThePersonAndOnlySharedPlans) {
  AddPlan(7, "2001-12-03 09:00:00", "2001-12-03 10:00:00", 1, " 会 ", 1, " 3楼 ", std::nullopt);
  AddPlan(7, "2001-12-03 14:00:00", "2001-12-03 15:00:00", 3, "<b>", 1, std::nullopt, "'x'");
  AddPlan(7, "2001-12-04 09:00:00", "2001-12-04 10:00:00", 2, "private", 2);
  const Value person = Value::Int32(7);
  const std::vector<std::string> own =
      Cells(DispPersonWeek(db_, Day(2001, 12, 5), person, Value::Text("7"), nullptr));
  EXPECT_EQ(own[0], "<td class='sch3' >本部 3楼 : 会 \r\n上海:&lt;b&gt;&#39;x&#39;\r\n</td>");
  EXPECT_EQ(own[1], "<td class='sch' ></td>");
  for (const Value& other : {Value(), Value::Null(), Value::Int32(8)}) {
    const std::vector<std::string> c =
        Cells(DispPersonWeek(db_, Day(2001, 12, 5), person, other, nullptr));
    EXPECT_EQ(c[0], "<td class='sch3' >本部\r\n上海\r\n</td>");
    EXPECT_EQ(c[1], "<td class='sch' ></td>");
  }
}

// A page with a database of two persons in system 1; person 7 is signed in.
class LeaderPage : public LeaderDb {
 protected:
  void SetUp() override {
    LeaderDb::SetUp();
    AddPerson(7, "张三", 2, 1);
    AddPerson(8, "李四", 1, 1);
    AddPlan(7, "2001-12-05 09:00:00", "2001-12-05 10:00:00", 2, "会", 1, "d", "a");
    AddPlan(8, "2001-12-05 09:00:00", "2001-12-05 10:00:00", 2, "会", 1, "d", "a");
    session_->Set("personID", Value::Text("7"));
    session_->Set("systemID", Value::Int32(1));
    object_.OnStartPage(Value::Object(std::make_shared<host::MemoryContext>(
        response_, std::make_shared<host::MemoryRequest>("/leaderWeek.asp"), session_)));
    object_.Init(Value::Text(Connection()));
    object_.DebugMode();
    response_->Clear();
  }

  std::shared_ptr<host::MemoryResponse> response_ = std::make_shared<host::MemoryResponse>();
  std::shared_ptr<host::MemorySession> session_ = std::make_shared<host::MemorySession>();
  Schedulers object_;
};

TEST_P(LeaderPage, WeekRowTracesItsSqlAndMonthRowDoesNot) {
  object_.DispPersonMonth(Day(2001, 12, 5), Value::Int32(7));
  EXPECT_EQ(response_->text(), "");
  object_.DispPersonWeek(Day(2001, 12, 5), Value::Int32(12));
  EXPECT_EQ(response_->text(),
            "<span id=debugID style='display:none'>"
            "select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,"
            "Type1=planAddrType.planAddrTypeName,Type2=planAddr.planAddrName,planAddrDetail,"
            "planTypeID,planContent,planAddition,planFlagID from personPlan,planAddrType,planAddr "
            "where personPlan.planAddrTypeID=planAddrType.planAddrTypeID and "
            "personPlan.planAddrID=planAddr.planAddrID and personID=12 and DATEDIFF(dd, "
            "planStartTime, '2001-12-9') >= 0 AND DATEDIFF(dd, '2001-12-3', planEndTime)>= 0    "
            "and planFlagID=1 order by planStartTime</span>");
  response_->Clear();
  EXPECT_THROW(object_.DispPersonWeek(Day(2001, 12, 5), Value::Text("12 or 1=1")), Error);
  EXPECT_EQ(response_->text(), "");  // refused before the trace
}

TEST_P(LeaderPage, SummariesAreHeaderThenOneRowPerPerson) {
  const Value date = Day(2001, 12, 5);
  const Value cond = Value::Text("1=1");
  const std::string week = object_.DispLeaderWeek(date, cond).text();
  EXPECT_EQ(week, object_.DispLeaderWeekHeader(date).text() +
                      object_.DispLeaderWeekContent(date, cond).text());
  EXPECT_EQ(Count(response_->text(), "<span id=debugID"), 4u);  // one trace per person, twice
  const std::size_t li = week.find("<tr><td class=td2 nowrap>李四</td>");
  const std::size_t zhang = week.find("<tr><td class=td2 nowrap>张三</td>");
  ASSERT_LT(li, zhang);  // duty 1 before duty 2
  EXPECT_EQ(Cells(week.substr(li, zhang - li)).size(), 8u);
  EXPECT_NE(week.find("<td class='sch2' >北京\r\n</td>", li), std::string::npos);
  EXPECT_NE(week.find("<td class='sch2' >北京d:会a\r\n</td>", zhang), std::string::npos);
  EXPECT_EQ(Cells(week.substr(zhang)).size(), 8u);

  const std::string month = object_.DispLeaderMonth(date, cond).text();
  EXPECT_EQ(month, object_.DispLeaderMonthHeader(date).text() +
                       object_.DispLeaderMonthContent(date, cond).text());
  EXPECT_EQ(Count(month, "<tr><td class=td2"), 2u);
  EXPECT_EQ(object_.DispLeaderWeek(date, Value::Text("person.personID=0")).text(),
            object_.DispLeaderWeekHeader(date).text());
}

TEST_P(LeaderPage, UnsetSystemOrEmptyConditionIsAClearError) {
  EXPECT_NE(ErrorOf([&] { object_.DispLeaderWeek(Day(2001, 12, 5), Value()); }).find("strCond"),
            std::string::npos);
  session_->Set("systemID", Value());
  EXPECT_EQ(ErrorOf([&] { object_.DispLeaderMonth(Day(2001, 12, 5), Value::Text("1=1")); }),
            "invalid system id '(empty)'");
  EXPECT_EQ(response_->text(), "");
}

INSTANTIATE_TEST_SUITE_P(Backends, LeaderPage,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::views

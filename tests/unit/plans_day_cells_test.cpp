#include <gtest/gtest.h>

#include "core/date.h"
#include "plans/person_day.h"
#include "plans/person_day_compact.h"
#include "plans/person_name.h"
#include "plans_test_db.h"

namespace ostrand::plans_test {
namespace {

const Value kDec5 = Value::Date(DateTime::FromCivil(2001, 12, 5));
const std::string kDayCond =
    " and DATEDIFF(dd, planStartTime, '2001-12-5') >= 0 AND DATEDIFF(dd, '2001-12-5', "
    "planEndTime)>= 0 ";

class PlansDayCell : public PlansDb {
 protected:
  void AddDec5() {
    AddPlan("2001-12-05 14:00:00", "2001-12-05 18:00:00", 4, 0, "'出差'", 7, 4);
    AddPlan("2001-12-05 09:00:00", "2001-12-05 12:00:00", 2, 1, "'开会'", 7, 2, "' 三楼 '",
            "'(上午)'");
    AddPlan("2001-12-05 10:00:00", "2001-12-05 11:00:00", 1, 1, "'别人的'", 8);
  }
};

TEST_P(PlansDayCell, OwnDayListsEveryEntryInFullOthersSeeSharedPlaces) {
  AddDec5();
  RecordingSource db(&store_);
  EXPECT_EQ(plans::GetPersonDay(db, kDec5, Value::Int32(7), Value::Text("7")),
            "<span class=sch2 style='width:100%;'> 1.中关村 三楼 :开会(上午)&nbsp;</span>||"
            "<span class=sch4 style='width:100%;'> 2.东京:出差&nbsp;</span>||");
  EXPECT_EQ(db.sql.back(), kSelect + "7" + kDayCond + " Order by planstartTime ");

  // 7.9 and 7 are the same person (the query then looks for id 7.9); 8, a
  // null and a missing viewer are not.
  plans::GetPersonDay(db, kDec5, Value::Double(7.9), Value::Int32(7));
  EXPECT_EQ(db.sql.back(), kSelect + "7.9" + kDayCond + " Order by planstartTime ");
  for (const Value& viewer : {Value::Int32(8), Value::Null(), Value()}) {
    EXPECT_EQ(plans::GetPersonDay(db, kDec5, Value::Text("7"), viewer),
              "<span class=sch2 style='width:100%;'> 1.中关村&nbsp;</span>||");
    EXPECT_EQ(db.sql.back(),
              kSelect + "7" + kDayCond + " and planFlagID=1 Order by planstartTime ");
  }
  EXPECT_EQ(plans::GetPersonDay(db, Value::Text("2001-12-6"), Value::Int32(7), Value::Int32(7)),
            "");
}

TEST_P(PlansDayCell, OvernightPlanShowsOnBothDaysOnly) {
  AddPlan("2001-12-04 23:00:00", "2001-12-05 07:00:00", 3, 1, "'夜车'", 7, 3);
  for (const char* day : {"2001-12-4", "2001-12-05"})
    EXPECT_EQ(plans::GetPersonDay(store_, Value::Text(day), Value::Int32(7), Value::Int32(7)),
              "<span class=sch3 style='width:100%;'> 1.上海:夜车&nbsp;</span>||");
  EXPECT_EQ(plans::GetPersonDay(store_, Value::Text("2001-12-6"), Value::Int32(7), Value()), "");
}

TEST(PlansDayCellRows, ClassOfOddKindsAndNullTexts) {
  RecordingSource db;
  db.canned = store::RecordSet(
      {"Type1ID", "Type1", "Type2", "planAddrDetail", "planContent", "planAddition"},
      {{Value::Int32(5), Value::Text("其他"), Value::Text(" 甲 "), Value::Null(), Value::Null(),
        Value::Null()},
       {Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null(), Value::Null()},
       {Value::Text("x"), Value(), Value(), Value(), Value(), Value()}});
  EXPECT_EQ(plans::GetPersonDay(db, kDec5, Value::Int32(1), Value::Int32(1)),
            "<span class=sch1 style='width:100%;'> 1.甲:&nbsp;</span>||"
            "<span class=sch1 style='width:100%;'> 2.:&nbsp;</span>||"
            "<span class=sch1 style='width:100%;'> 3.:&nbsp;</span>||");
  EXPECT_EQ(plans::GetPersonDay2(db, kDec5, Value::Int32(1)),
            "<span class=Office title='1.其他:甲2.:3.:'>&nbsp;&nbsp;</span>");
}

TEST_P(PlansDayCell, CompactCellListsSharedEntriesInTheTitle) {
  AddPlan("2001-12-05 08:00:00", "2001-12-05 09:00:00", 1, 1, "'a'", 7, 1);
  AddPlan("2001-12-05 10:00:00", "2001-12-05 11:00:00", 4, 1, "'b'", 7, 4);
  AddPlan("2001-12-05 12:00:00", "2001-12-05 13:00:00", 2, 1, "'c'", 7, 2);
  AddPlan("2001-12-05 15:00:00", "2001-12-05 16:00:00", 3, 0, "'private'", 7, 3);
  RecordingSource db(&store_);
  EXPECT_EQ(
      plans::GetPersonDay2(db, kDec5, Value::Int32(7)),
      "<span class=Beijing title='1.本单位:办公楼2.国外:东京3.北京:中关村'>&nbsp;&nbsp;</span>");
  EXPECT_EQ(db.sql.back(), kSelect + "7" + kDayCond + " and planFlagID=1 Order by planstartTime ");
  EXPECT_EQ(plans::GetPersonDay2(db, Value::Text("2001-12-6"), Value::Int32(7)),
            "<span class= title=''>&nbsp;&nbsp;</span>");
}

TEST_P(PlansDayCell, PersonName) {
  RecordingSource db(&store_);
  EXPECT_EQ(plans::GetName(db, Value::Int32(7)), "张三-科长");
  EXPECT_EQ(db.sql.back(),
            "select personName,personDuty.dutyName from person,personDuty where person.dutyID = "
            "personDuty.dutyID AND personID=7");
  EXPECT_EQ(plans::GetName(db, Value::Text("9")), "-处长");
  EXPECT_EQ(plans::GetName(db, Value::Double(8)), "未名");  // duty without a row
  EXPECT_EQ(plans::GetName(db, Value::Int32(12)), "未名");  // no such person
  const std::string as_number = db.sql.back();
  plans::GetName(db, Value::Text("12"));
  EXPECT_EQ(db.sql.back(), as_number);
}

TEST_P(PlansDayCell, BadIdsAndDaysFailBeforeAnyQuery) {
  AddDec5();
  RecordingSource db(&store_);
  const Value pid = Value::Int32(7);
  for (const Value& bad : {Value::Text("1 or 1=1"), Value(), Value::Null(), Value::Text("7abc")}) {
    EXPECT_NE(ErrorOf([&] { plans::GetPersonDay(db, kDec5, bad, pid); }).find("invalid person id"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { plans::GetPersonDay2(db, kDec5, bad); }).find("invalid person id"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { plans::GetName(db, bad); }).find("invalid person id"),
              std::string::npos);
  }
  for (const Value& bad :
       {Value::Text("x' or '1'='1"), Value(), Value::Null(), Value::Int32(37230)}) {
    EXPECT_NE(ErrorOf([&] { plans::GetPersonDay(db, bad, pid, pid); }).find("invalid date"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { plans::GetPersonDay2(db, bad, pid); }).find("invalid date"),
              std::string::npos);
  }
  EXPECT_NE(ErrorOf([&] { plans::GetPersonDay(db, kDec5, pid, Value::Text("me")); }), "");
  EXPECT_TRUE(db.sql.empty());
}

TEST_P(PlansDayCell, DatabaseTextsAreEscapedEverywhere) {
  store_.Execute(
      "UPDATE planAddrType SET planAddrTypeName='<b>' WHERE planAddrTypeID=1;"
      "UPDATE planAddr SET planAddrName='O''Brien' WHERE planAddrID=1;"
      "UPDATE person SET personName='<i>' WHERE personID=7;"
      "UPDATE personDuty SET dutyName='a&b' WHERE dutyID=1;");
  AddPlan("2001-12-05 09:00:00", "2001-12-05 10:00:00", 1, 1, "'<script>alert(1)</script>'", 7, 1,
          "'\"d\"'", "'x''y'");
  EXPECT_EQ(plans::GetPersonDay(store_, kDec5, Value::Int32(7), Value::Int32(7)),
            "<span class=sch1 style='width:100%;'> 1.O&#39;Brien&quot;d&quot;:"
            "&lt;script&gt;alert(1)&lt;/script&gt;x&#39;y&nbsp;</span>||");
  EXPECT_EQ(plans::GetPersonDay2(store_, kDec5, Value::Int32(7)),
            "<span class=Office title='1.&lt;b&gt;:O&#39;Brien'>&nbsp;&nbsp;</span>");
  EXPECT_EQ(plans::GetName(store_, Value::Int32(7)), "&lt;i&gt;-a&amp;b");
}

TEST_P(PlansDayCell, MembersReadTheSignedInPerson) {
  AddDec5();
  Page own(path_, Value::Int32(7));
  const Value cell = own.s.GetPersonDay(kDec5, Value::Int32(7));
  EXPECT_EQ(Count(cell.text(), "<span"), 2);
  Page other(path_, Value::Int32(8));
  EXPECT_EQ(Count(other.s.GetPersonDay(kDec5, Value::Int32(7)).text(), "<span"), 1);
  EXPECT_EQ(other.s.GetPersonDay2(kDec5, Value::Int32(7)).text().substr(0, 19),
            "<span class=Beijing");
  EXPECT_EQ(other.s.GetName(Value::Int32(7)), Value::Text("张三-科长"));
}

INSTANTIATE_TEST_SUITE_P(Backends, PlansDayCell,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::plans_test

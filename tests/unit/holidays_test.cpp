// Holidays: reading holiday files, the hostHoliday table on every backend,
// the kinds of day, and `ostrand holidays` on a database file.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "holidays/day_kind.h"
#include "holidays/demo_holidays.h"
#include "holidays/holiday_file.h"
#include "web/data/holiday_table.h"
#include "web/pages/day_marks.h"
#include "store/connect.h"
#include "store/schema.h"
#include "test_databases.h"
#include "test_support.h"

namespace ostrand::holidays {
namespace {

using test_support::TestBackend;
using test_support::TestDatabase;

DateTime Day(int y, int m, int d) { return DateTime::FromCivil(y, m, d); }

// ---- files ------------------------------------------------------------------

TEST(HolidayFiles, CsvGivesDaysOffAndWorkingDays) {
  const HolidayFile file = ReadHolidayFile(
      "\xEF\xBB\xBF" "date,name,off|work\r\n"
      "2026-10-02,国庆节,OFF\r\n"
      "2026/10/1,\"国庆节, 第一天\",off,\r\n"
      "2026-10-11,国庆节调休上班,work\r\n");
  ASSERT_TRUE(file.problems.empty()) << file.problems.front().reason;
  ASSERT_EQ(file.days.size(), 3u);
  EXPECT_EQ(file.days[0], (Holiday{Day(2026, 10, 1), "国庆节, 第一天", true, false}));
  EXPECT_EQ(file.days[1].date, Day(2026, 10, 2));
  EXPECT_EQ(file.days[2], (Holiday{Day(2026, 10, 11), "国庆节调休上班", false, false}));
}

TEST(HolidayFiles, EveryBadRecordIsReportedWithItsLine) {
  const HolidayFile file = ReadHolidayCsv(
      "2026-10-01,国庆节,off\n"
      "2026-02-30,春节,off\n"
      "2026-10-01,again,off\n"
      "2026-10-03,,off\n"
      "2026-10-04,国庆节,maybe\n"
      "10000-01-01,far,off\n"
      "2026-10-05,国庆节\n"
      "2026-10-06,\"bad\x01name\",off\n");
  std::vector<int> lines;
  for (const HolidayProblem& p : file.problems) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
  EXPECT_NE(file.problems[0].reason.find("2026-02-30"), std::string::npos);
  EXPECT_NE(file.problems[3].reason.find("maybe"), std::string::npos);
}

TEST(HolidayFiles, CalendarEventsCoverTheirDays) {
  const HolidayFile file = ReadHolidayFile(
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//holidays//EN\r\n"
      "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20260101T000000Z\r\n"
      "DTSTART;VALUE=DATE:20261001\r\nDTEND;VALUE=DATE:20261004\r\nSUMMARY:国庆节\r\n"
      "END:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:b\r\nDTSTAMP:20260101T000000Z\r\n"
      "DTSTART;VALUE=DATE:20261011\r\nSUMMARY:国庆节调休（班）\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:c\r\nDTSTAMP:20260101T000000Z\r\n"
      "DTSTART;VALUE=DATE:20260927\r\nCATEGORIES:work\r\nSUMMARY:调休\r\nEND:VEVENT\r\n"
      "END:VCALENDAR\r\n");
  ASSERT_TRUE(file.problems.empty()) << file.problems.front().reason;
  ASSERT_EQ(file.days.size(), 5u);
  EXPECT_EQ(file.days[0], (Holiday{Day(2026, 9, 27), "调休", false, false}));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(file.days[i], (Holiday{Day(2026, 10, i), "国庆节", true, false}));
  }
  EXPECT_FALSE(file.days[4].day_off);

  const HolidayFile broken = ReadHolidayFile("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n");
  EXPECT_TRUE(broken.days.empty());
  EXPECT_FALSE(broken.problems.empty());
}

TEST(HolidayDays, AHolidayDecidesElseTheWeekday) {
  const HolidayCalendar calendar({Holiday{Day(2026, 10, 1), "国庆节", true, false},
                                  Holiday{Day(2026, 10, 11), "补班", false, false}});
  EXPECT_EQ(calendar.KindOf(Day(2026, 10, 1)), DayKind::kDayOff);     // Thursday
  EXPECT_EQ(calendar.KindOf(Day(2026, 10, 11)), DayKind::kWorkingDay);  // Sunday
  EXPECT_EQ(calendar.KindOf(Day(2026, 10, 10)), DayKind::kWeekend);
  EXPECT_EQ(calendar.KindOf(Day(2026, 10, 12)), DayKind::kWorkday);
  EXPECT_EQ(calendar.KindOf(DateTime::FromCivil(2026, 10, 1, 15, 30)), DayKind::kDayOff);
}

TEST(HolidayDays, PagesCarryTheMarksAsJsonInAnAttribute) {
  const HolidayCalendar calendar(
      {Holiday{Day(2026, 10, 1), "国庆\"<节>\\", true, false},
       Holiday{Day(2026, 10, 11), "bad \xff name", false, true}});
  std::string out;
  web::AppendDayMarks(out, web::Language::kEnglish, Day(2026, 10, 5), Day(2026, 9, 30),
                      Day(2026, 10, 11), calendar, std::nullopt);
  const std::size_t start = out.find("data-days=\"") + 11;
  EXPECT_EQ(out.substr(start, out.find('"', start) - start),
            "{&quot;2026-10-01&quot;:[&quot;day-off&quot;,&quot;国庆\\&quot;&lt;节&gt;\\\\&quot;,"
            "&quot;国庆\\&quot;&lt;节&gt;\\\\ (off)&quot;,&quot;off&quot;],"
            "&quot;2026-10-03&quot;:[&quot;weekend&quot;],&quot;2026-10-04&quot;:[&quot;weekend&quot;],"
            "&quot;2026-10-10&quot;:[&quot;weekend&quot;],&quot;2026-10-11&quot;:[&quot;workday&quot;,"
            "&quot;bad \xef\xbf\xbd name&quot;,&quot;bad \xef\xbf\xbd name (work) · demo "
            "data&quot;,&quot;work&quot;]}");
}

// ---- the table on every backend ------------------------------------------------

class HolidayTable : public ::testing::TestWithParam<TestBackend> {
 protected:
  void SetUp() override {
    database_ = std::make_unique<TestDatabase>(GetParam());
    db_ = store::Connect(database_->connection_string());
  }
  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<store::Connection> db_;
};

TEST_P(HolidayTable, AnImportReplacesTheDemoSetOfItsYearsOnly) {
  std::vector<Holiday> demo = DemoHolidays(2026);
  for (Holiday& day : DemoHolidays(2027)) demo.push_back(day);
  WriteHolidays(*db_, demo);
  const std::vector<Holiday> stored = HolidaysBetween(*db_, Day(2026, 1, 1), Day(2027, 12, 31));
  EXPECT_EQ(stored, demo);

  const HolidayImport done =
      ImportHolidays(*db_, {Holiday{Day(2026, 10, 1), "国庆节", true, false},
                            Holiday{Day(2026, 10, 10), "补班", false, false}});
  EXPECT_EQ(done.written, 2u);
  EXPECT_EQ(done.demo_removed, DemoHolidays(2026).size());
  const std::vector<Holiday> year = HolidaysBetween(*db_, Day(2026, 1, 1), Day(2026, 12, 31));
  ASSERT_EQ(year.size(), 2u);
  EXPECT_EQ(year[1], (Holiday{Day(2026, 10, 10), "补班", false, false}));
  EXPECT_EQ(HolidaysBetween(*db_, Day(2027, 1, 1), Day(2027, 12, 31)).size(),
            DemoHolidays(2027).size());

  // A second import of the same day replaces it and counts it.
  const HolidayImport again =
      ImportHolidays(*db_, {Holiday{Day(2026, 10, 1), "国庆节（新）", true, false}});
  EXPECT_EQ(again.replaced, 1u);
  EXPECT_EQ(HolidaysBetween(*db_, Day(2026, 10, 1), Day(2026, 10, 1)).front().name, "国庆节（新）");
}

INSTANTIATE_TEST_SUITE_P(Backends, HolidayTable, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

TEST(HolidaySchema, AnOlderDatabaseGetsTheNewTables) {
  test_support::TempDir dir;
  const std::string path = dir.File("old.db");
  store::CreateSqliteDatabase(path);
  auto db = store::Connect("sqlite:" + path);
  db->ExecuteScript("DROP TABLE hostHoliday; DROP TABLE hostDeletedPlan;");
  EXPECT_EQ(store::ReadSchemaVersion(*db), 1);
  store::UpgradeHostTables(*db);
  EXPECT_EQ(store::ReadSchemaVersion(*db), store::kSchemaVersion);
  WriteHolidays(*db, DemoHolidays(2026));
  EXPECT_FALSE(HolidaysBetween(*db, Day(2026, 1, 1), Day(2026, 12, 31)).empty());
}

// ---- the command ----------------------------------------------------------------

TEST(HolidaysCommand, ImportsAllOrNothingAndLists) {
  test_support::TempDir dir;
  const std::string db = dir.File("plans.db");
  store::CreateSqliteDatabase(db);
  const std::string good = dir.File("good.csv");
  const std::string bad = dir.File("bad.csv");
  std::ofstream(good) << "2026-10-01,国庆节,off\n2026-10-10,补班,work\n";
  std::ofstream(bad) << "2026-10-02,国庆节,off\n2026-13-01,x,off\n";

  const auto refused = test_support::RunOstrand(dir, {"holidays", "import", db, bad});
  EXPECT_NE(refused.exit_code, 0);
  EXPECT_NE(refused.err.find("bad.csv:2"), std::string::npos) << refused.err;
  const auto imported = test_support::RunOstrand(dir, {"holidays", "import", db, good});
  EXPECT_EQ(imported.exit_code, 0) << imported.err;
  const auto listed = test_support::RunOstrand(dir, {"holidays", "list", db, "2026"});
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_EQ(listed.out, "2026-10-01 off  国庆节\n2026-10-10 work 补班\n");
}

}  // namespace
}  // namespace ostrand::holidays

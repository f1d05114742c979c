// Spreadsheet exports: the grids follow the pages' rules, CSV and XLSX hold
// the same cells (read with Python's csv and openpyxl), and the CSV reader
// takes the exports back and reports bad records with their lines.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "exports/csv.h"
#include "exports/csv_export.h"
#include "exports/csv_import.h"
#include "exports/grid.h"
#include "exports/xlsx_export.h"
#include "plans/plan_record.h"
#include "python_check.h"
#include "store/sql_param.h"
#include "views/leader_month.h"
#include "views/personal_month.h"
#include "views_leader_test_db.h"

namespace ostrand::exports {
namespace {

using views::testing::Cells;

class SheetsTest : public views::testing::LeaderDb {
 protected:
  void SetUp() override {
    LeaderDb::SetUp();
    AddPerson(1, "主任甲", 1, 1);
    AddPerson(2, "职员乙", 2, 1);
    AddPlan(1, "2001-11-29 09:00:00", "2001-12-02 18:00:00", 3, " 出差 ");
    AddPlan(1, "2001-12-05 09:00:00", "2001-12-05 10:00:00", 1, "例会", 1, "301", "带本");
    AddPlan(1, "2001-12-05 14:00:00", "2001-12-05 15:00:00", 2, "SECRET", 2);
    AddPlan(1, "2001-12-05 16:00:00", "2001-12-05 17:00:00", 4, "视频会, \"远程\"");
    AddPlan(2, "2001-12-04 08:00:00", "2001-12-04 12:00:00", 2, "座谈");
  }
  test_support::TestBackend Backend() const override { return test_support::TestBackend::kSqlite; }

  const Value kDate = Value::Text("2001-12-15");
  const Value kAll = Value::Text("1=1");
  const Value kSystem = Value::Int32(1);
};

TEST_F(SheetsTest, GridsFollowThePagesRules) {
  const Grid month = LeaderMonthGrid(db_, kDate, kAll, kSystem);
  EXPECT_EQ(month.title, "月汇总 2001-12");
  ASSERT_EQ(month.days.size(), 31u);
  ASSERT_EQ(month.rows.size(), 2u);
  EXPECT_EQ(month.rows[0].name, "主任甲");
  EXPECT_EQ(month.rows[0].cells[1].text, "外地：出差");
  EXPECT_EQ(month.rows[0].cells[4].text, "办公室：例会\n国外：视频会, \"远程\"");
  EXPECT_EQ(month.rows[0].cells[4].kind, 4);
  EXPECT_EQ(month.rows[1].cells[3].text, "北京：座谈");
  // The kinds are the leader month page's classes, day by day.
  for (std::size_t row = 0; row < 2; ++row) {
    const std::vector<std::string> page =
        Cells(views::DispPersonMonth(db_, kDate, Value::Int32(static_cast<int>(row) + 1)));
    for (std::size_t day = 0; day < 31; ++day) {
      const int kind = month.rows[row].cells[day].kind;
      EXPECT_NE(page[day].find(kind ? "class='sch" + std::to_string(kind) + "'" : "class='sch'"),
                std::string::npos)
          << row << " " << day;
    }
  }

  const Grid week = LeaderWeekGrid(db_, Value::Text("2001-12-5"), kAll, kSystem, Value::Int32(1));
  EXPECT_EQ(week.title, "周汇总 2001-12-03");
  ASSERT_EQ(week.days.size(), 7u);
  EXPECT_EQ(week.rows[0].cells[2].text, "办公室：本部301:例会带本\n国外：东京:视频会, \"远程\"");
  EXPECT_EQ(week.rows[1].cells[1].text, "北京：北京");  // a colleague's place only

  const Grid own = PersonMonthGrid(db_, kDate, Value::Int32(1), Value::Int32(1));
  ASSERT_EQ(own.rows.size(), 1u);
  EXPECT_EQ(own.rows[0].cells[4].text,
            "办公室：例会\n北京（个人）：SECRET\n国外：视频会, \"远程\"");
  const Grid seen = PersonMonthGrid(db_, kDate, Value::Int32(1), Value::Int32(2));
  EXPECT_EQ(seen.rows[0].cells[4].text, "办公室：例会\n国外：视频会, \"远程\"");
  EXPECT_EQ(test_support::ErrorOf([&] { PersonMonthGrid(db_, kDate, Value::Int32(9), {}); }),
            "no person with id 9");
}

TEST_F(SheetsTest, CsvQuotesAndGuardsFieldsAndReadsThemBack) {
  const std::vector<std::string> fields = {"a,b",     "say \"hi\"", "two\nlines", "=1+2",
                                           "'quoted", "-",          "plain 中文", ""};
  std::string out;
  AppendCsvRecord(out, fields);
  EXPECT_EQ(out, "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",'=1+2,''quoted,'-,plain 中文,\r\n");
  const CsvText back = ParseCsv(std::string(kUtf8Bom) + out + out);
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_EQ(back.records[0].fields, fields);
  EXPECT_EQ(back.records[1].line, 3);  // the quoted line break counts

  const std::string csv = WriteGridCsv(LeaderMonthGrid(db_, kDate, kAll, kSystem));
  EXPECT_EQ(csv.rfind(std::string(kUtf8Bom) + "姓名,2001-12-01 星期六,2001-12-02 星期日,", 0), 0u);
  EXPECT_NE(
      csv.find("\r\n主任甲,外地：出差,外地：出差,,,\"办公室：例会\n国外：视频会, \"\"远程\"\"\","),
      std::string::npos);
}

TEST_F(SheetsTest, XlsxHoldsTheCsvCellsInThePagesColours) {
  const Grid grid = LeaderMonthGrid(db_, kDate, kAll, kSystem);
  const std::string xlsx = dir_.File("month.xlsx"), csv = dir_.File("month.csv");
  std::ofstream(xlsx, std::ios::binary) << WriteGridXlsx(grid);
  std::ofstream(csv, std::ios::binary) << WriteGridCsv(grid);
  const nlohmann::json sheet = test_support::RunPythonCheck("xlsx_cells.py", {xlsx, csv});
  ASSERT_TRUE(sheet.is_object());
  EXPECT_EQ(sheet["sheet"], sheet["csv"]);
  EXPECT_EQ(sheet["sheet"].size(), 3u);
  EXPECT_EQ(sheet["title"], "月汇总 2001-12");
  EXPECT_EQ(sheet["frozen"], "B2");
  EXPECT_EQ(sheet["fills"]["A1"], "5B7BAB");  // heading
  EXPECT_EQ(sheet["fills"]["A2"], "DFE7F3");  // name
  EXPECT_EQ(sheet["fills"]["B2"], "FDE0A6");  // 1 December: out of town
  EXPECT_EQ(sheet["fills"]["F2"], "F6C6D5");  // 5 December: abroad last
  EXPECT_EQ(sheet["fills"]["E3"], "CDE0FB");  // 4 December: Beijing
  EXPECT_FALSE(sheet["fills"].contains("C3"));
}

TEST_F(SheetsTest, ImportedMonthExportGivesTheSameMonthPage) {
  const plans::ImportResult read =
      ReadPlansCsv(WriteGridCsv(PersonMonthGrid(db_, kDate, Value::Int32(1), Value::Int32(1))));
  EXPECT_TRUE(read.problems.empty());
  ASSERT_EQ(read.plans.size(), 5u);
  EXPECT_EQ(read.plans[0].person, "主任甲");

  // Into an empty database with the same kinds and places (place id = kind).
  const std::map<std::string, int> kinds = {{"办公室", 1}, {"北京", 2}, {"外地", 3}, {"国外", 4}};
  test_support::TempDir other_dir;
  store::CreateSqliteDatabase(other_dir.File("other.db"));
  store::PlanStore other;
  other.Open("sqlite:" + other_dir.File("other.db"));
  other.Execute(
      "INSERT INTO planAddrType VALUES (1,'办公室'),(2,'北京'),(3,'外地'),(4,'国外');"
      "INSERT INTO planAddr VALUES (1,'本部',1),(2,'北京',2),(3,'上海',3),(4,'东京',4)");
  for (const plans::ImportedPlan& p : read.plans) {
    const int kind = kinds.at(p.plan.kind);
    other.Execute(
        "INSERT INTO personPlan (personID,planStartTime,planEndTime,planAddrTypeID,"
        "planAddrID,planContent,planFlagID) VALUES (1,'" +
        store::StorageDateTimeText(p.plan.start) + "','" + store::StorageDateTimeText(p.plan.end) +
        "'," + std::to_string(kind) + "," +
        std::to_string(kind) + "," + views::testing::Quoted(p.plan.content) + "," +
        (p.plan.shared ? "1" : "2") + ")");
  }
  for (const int viewer : {1, 2}) {
    EXPECT_EQ(views::DispMonthContent(other, kDate, Value::Int32(1), Value::Int32(viewer), {}),
              views::DispMonthContent(db_, kDate, Value::Int32(1), Value::Int32(viewer), {}))
        << viewer;
  }

  // The plan list comes back as the same plans.
  std::vector<plans::PlanRecord> stored =
      plans::LoadPlans(db_, Value::Int32(1), DateTime::FromCivil(2001, 12, 1),
                       DateTime::FromCivil(2001, 12, 31), plans::PlanSet::kAll);
  const plans::ImportResult list = ReadPlansCsv(WritePlanListCsv(stored));
  EXPECT_TRUE(list.problems.empty());
  ASSERT_EQ(list.plans.size(), stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    stored[i].id = 0;
    stored[i].kind_id.reset();
    EXPECT_EQ(list.plans[i].plan, stored[i]) << i;
    EXPECT_EQ(list.plans[i].line, static_cast<int>(i) + 2);
  }
}

TEST(CsvReader, ReportsBadRecordsWithTheirLines) {
  const std::string list =
      "地点,内容,开始,结束,类型\n"                                  // 1
      "财政部,\"两行\n内容\",2001-12-05 09:00,2001-12-05 10:00,\n"  // 2, 3
      "x,y,bad,2001-12-05 10:00,共享\n"                             // 4
      "x,y,2001-12-05 11:00,2001-12-05 10:00,共享\n"                // 5
      "x,y,2001-12-05 11:00,2001-12-05 12:00,公开\n"                // 6
      "x,\"a\"b,2001-12-05 11:00,2001-12-05 12:00,共享\n"           // 7
      "x," +
      std::string(501, 'z') +
      ",2001-12-05 11:00,2001-12-05 12:00,共享\n"         // 8
      "x,a\x01,2001-12-05 11:00,2001-12-05 12:00,个人\n"  // 9
      "x,y,2001-12-05 11:00,2001-12-05 12:00,个人\n"      // 10
      "\"never closed,\n";                                // 11
  const plans::ImportResult r = ReadPlansCsv(list);
  ASSERT_EQ(r.plans.size(), 2u);
  EXPECT_EQ(r.plans[0].line, 2);
  EXPECT_EQ(r.plans[0].plan.content, "两行 内容") << "one line, as the editor keeps it";
  EXPECT_EQ(r.plans[0].flattened, std::vector<std::string>{"content"});
  EXPECT_TRUE(r.plans[0].plan.shared);
  EXPECT_EQ(r.plans[1].line, 10);
  EXPECT_FALSE(r.plans[1].plan.shared);
  std::vector<std::pair<int, std::string>> problems;
  for (const plans::ImportProblem& p : r.problems) problems.emplace_back(p.line, p.reason);
  const std::vector<std::pair<int, std::string>> expected = {
      {4, "cannot read 'bad' as the start (such as 2001-12-05 09:00)"},
      {5, "ends (2001-12-5 10:00:00) before it starts (2001-12-5 11:00:00)"},
      {6, "类型 '公开' is neither 共享 nor 个人"},
      {7, "text after the closing quote of a field"},
      {8, "content is longer than 500 characters"},
      {9, "content holds the control character U+0001"},
      {11, "a quoted field is not closed"}};
  EXPECT_EQ(problems, expected);

  const plans::ImportResult grid = ReadPlansCsv(
      "姓名,2001-12-01 星期六,2001-12-02 星期日\r\n"
      "张三,\"北京：会议\n没有冒号\",京外（个人）：出差\r\n"
      "李四,,,多余\r\n");
  ASSERT_EQ(grid.plans.size(), 2u);
  EXPECT_EQ(grid.plans[1].plan.start, DateTime::FromCivil(2001, 12, 2));
  EXPECT_EQ(grid.plans[1].plan.end, DateTime::FromCivil(2001, 12, 2, 23, 59));
  EXPECT_FALSE(grid.plans[1].plan.shared);
  ASSERT_EQ(grid.problems.size(), 2u);
  EXPECT_EQ(grid.problems[0].line, 3);
  EXPECT_EQ(grid.problems[0].reason, "2001-12-01: '没有冒号' is no plan (such as 北京：座谈会)");
  EXPECT_EQ(grid.problems[1].line, 4);

  const plans::ImportResult bad = ReadPlansCsv("姓名,明天\r\n张三,北京：会议\r\n");
  ASSERT_EQ(bad.problems.size(), 1u);
  EXPECT_EQ(bad.problems[0].line, 1);
  EXPECT_TRUE(bad.plans.empty());
}

}  // namespace
}  // namespace ostrand::exports

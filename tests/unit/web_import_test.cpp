// Importing plans (`ostrand import-plans`): a person's exports come back as
// the same month page, every skipped line is reported with its reason, and
// the host's tokens and change records work on every backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "exports/csv_export.h"
#include "exports/grid.h"
#include "feeds/feed_source.h"
#include "feeds/ical_feed.h"
#include "feeds/ical_reader.h"
#include "python_check.h"
#include "store/connect.h"
#include "store/demo_data.h"
#include "store/demo_database.h"
#include "store/plan_store.h"
#include "store/schema.h"
#include "test_databases.h"
#include "views/personal_month.h"
#include "web/auth/personal_tokens.h"
#include "web/data/plan_changes.h"
#include "web/data/plan_importer.h"
#include "web/data/plan_repository.h"
#include "web/data/site_identity.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using test_support::RunOstrand;
using test_support::TempDir;

using test_support::Contains;

std::string MonthPage(const std::string& db_path, const Value& month, const Value& person,
                      const Value& viewer) {
  store::PlanStore store;
  store.Open("sqlite:" + db_path);
  return views::DispMonthContent(store, month, person, viewer, {});
}

TEST(ImportPlans, APersonsExportsComeBackAsTheSameMonthPage) {
  TempDir dir;
  const std::string demo = dir.File("demo.db");
  const store::DemoData data = store::GenerateDemoData(7, DateTime::FromCivil(2026, 6, 15));
  store::WriteDemoDatabase(data, demo, false);
  // Texts with what iCalendar and CSV escape.
  store::Connect("sqlite:" + demo)
      ->Execute(
          "UPDATE personPlan SET planContent = planContent || ', 议程; 预算\\附件', "
          "planAddition = 'a,b;c\\d' WHERE planID % 3 = 0");
  const Value person = Value::Int32(static_cast<int>(data.demo_account));
  const Value colleague = Value::Int32(2);
  const Value month = Value::Date(DateTime::FromCivil(2026, 6, 1));
  const feeds::TimeZone zone = feeds::TimeZone::Named("Asia/Shanghai");
  {
    store::PlanStore store;
    store.Open("sqlite:" + demo);
    std::ofstream(dir.File("month.csv"), std::ios::binary)
        << exports::WriteGridCsv(exports::PersonMonthGrid(store, month, person, person));
    const feeds::FeedRange june{DateTime::FromCivil(2026, 6, 1), DateTime::FromCivil(2026, 6, 30)};
    feeds::FeedRequest feed;
    feed.persons = {*feeds::LoadPerson(store, data.demo_account, feeds::FeedView::kOwn, june)};
    feed.range = june;
    std::ofstream(dir.File("own.ics"), std::ios::binary) << feeds::WriteCalendar(feed, zone);
    // As a calendar program built on python3-vobject saves it again.
    const nlohmann::json resaved = test_support::RunPythonCheck(
        "vobject_resave.py", {dir.File("own.ics"), dir.File("resaved.ics")});
    ASSERT_TRUE(resaved.is_object());
    EXPECT_EQ(resaved["events"], feed.persons.front().plans.size());
    std::ofstream(dir.File("list.csv"), std::ios::binary)
        << exports::WritePlanListCsv(feed.persons.front().plans);
  }
  for (const char* file : {"month.csv", "own.ics", "resaved.ics", "list.csv"}) {
    SCOPED_TRACE(file);
    const std::string empty = dir.File(std::string("empty-") + file + ".db");
    std::filesystem::copy_file(demo, empty);
    store::Connect("sqlite:" + empty)->Execute("DELETE FROM personPlan");
    const std::vector<std::string> words = {"import-plans", "sqlite:" + empty, dir.File(file),
                                            "--person", "1", "--timezone", "Asia/Shanghai"};
    const test_support::Outcome dry = RunOstrand(dir, words);
    ASSERT_EQ(dry.exit_code, 0) << dry.err;
    EXPECT_TRUE(Contains(dry.out, "dry run: nothing was written"));
    EXPECT_EQ(store::Connect("sqlite:" + empty)
                  ->Query("SELECT COUNT(*) FROM personPlan")
                  .Field(std::size_t{0})
                  .ToNumber(),
              0);

    std::vector<std::string> apply = words;
    apply.push_back("--apply");
    const test_support::Outcome applied = RunOstrand(dir, apply);
    ASSERT_EQ(applied.exit_code, 0) << applied.err;
    EXPECT_TRUE(Contains(applied.out, " added, 0 skipped")) << applied.out;
    for (const Value& viewer : {person, colleague}) {
      EXPECT_EQ(MonthPage(empty, month, person, viewer), MonthPage(demo, month, person, viewer));
    }
    // Importing again adds nothing twice.
    const test_support::Outcome again = RunOstrand(dir, apply);
    EXPECT_TRUE(Contains(again.out, ": 0 added, ")) << again.out;
    EXPECT_TRUE(Contains(again.out, "the person has this plan already")) << again.out;
  }
  // A month grid holds no times: back into the database it came from, its
  // plans are the ones there, not new ones beside them.
  const test_support::Outcome home =
      RunOstrand(dir, {"import-plans", "sqlite:" + demo, dir.File("month.csv"), "--person", "1"});
  EXPECT_TRUE(Contains(home.out, ": 0 to add, ")) << home.out;
}

TEST(ImportPlans, EverySkippedLineHasItsReasonAndApplyWritesTheRest) {
  TempDir dir;
  const std::string db = dir.File("schedule.db");
  testing::WriteFixture(db);
  std::ofstream(dir.File("plans.csv"), std::ios::binary)
      << "开始,结束,地点类别,地点,内容,类型\n"
         "2002-01-07 09:00,2002-01-07 10:00,北京,发改委,汇报,共享\n"       // 2: added
         "2002-01-08 09:00,明天,北京,发改委,汇报,共享\n"                  // 3: bad end
         "2002-01-09 09:00,2002-01-09 10:00,北京,国务院,汇报,共享\n"      // 4: no place
         "2002-01-10 09:00,2002-01-10 10:00,火星,,汇报,共享\n"            // 5: no kind
         "2002-01-07 09:00,2002-01-07 10:00,北京,发改委,汇报,共享\n"       // 6: line 2 again
         "2002-01-11 09:00,2002-01-11 10:00,,,体检,个人\n"                // 7: --place
         "2002-01-12 09:00,2002-03-12 10:00,京外,上海,长差,共享\n";       // 8: too many days
  const std::vector<std::string> words = {"import-plans",  "sqlite:" + db,     dir.File("plans.csv"),
                                          "--person",      "2",                "--place",
                                          "三层会议室",   "--max-plan-days", "31"};
  const test_support::Outcome dry = RunOstrand(dir, words);
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_TRUE(Contains(dry.out, ": 2 to add, 5 skipped, for person 2 (李科员)")) << dry.out;
  for (const char* line :
       {"add  line 2: 2002-01-07 09:00 – 2002-01-07 10:00 北京 发改委 汇报",
        "skip  line 3: cannot read '明天' as the end", "skip  line 4: ", "no place named '国务院'",
        "skip  line 5: ", "no kind of place named '火星'", "the same plan as line 2",
        "add  line 7: 2002-01-11 09:00 – 2002-01-11 10:00 体检（个人）",
        "covers 60 days, more than 31"}) {
    EXPECT_TRUE(Contains(dry.out, line)) << line << "\n" << dry.out;
  }
  const auto count = [&] {
    return store::Connect("sqlite:" + db)
        ->Query("SELECT COUNT(*) FROM personPlan WHERE personID = 2")
        .Field(std::size_t{0})
        .ToNumber();
  };
  EXPECT_EQ(count(), 2);
  std::vector<std::string> apply = words;
  apply.push_back("--apply");
  const test_support::Outcome applied = RunOstrand(dir, apply);
  EXPECT_TRUE(Contains(applied.out, "added  line 7:")) << applied.out;
  EXPECT_EQ(count(), 4);

  std::ofstream(dir.File("broken.ics"), std::ios::binary)
      << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:a\r\nSUMMARY:无开始\r\n"
         "END:VEVENT\r\nEND:VCALENDAR\r\n";
  const test_support::Outcome ics =
      RunOstrand(dir, {"import-plans", "sqlite:" + db, dir.File("broken.ics"), "--person", "2"});
  EXPECT_TRUE(Contains(ics.out, "skip  line 3: ")) << ics.out;
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"import-plans", "sqlite:" + db, dir.File("plans.csv"), "--person", "99"},
            "no person with id 99"},
           {{"import-plans", "sqlite:" + db, dir.File("plans.txt"), "--person", "2"},
            "is neither a .ics nor a .csv file"},
           {{"import-plans", "sqlite:" + db, dir.File("missing.csv"), "--person", "2"},
            "cannot read"},
           {{"import-plans", "sqlite:" + db, dir.File("plans.csv"), "--person", "2", "--place",
             "无处"},
            "no place named '无处'"}}) {
    const test_support::Outcome failed = RunOstrand(dir, args);
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_TRUE(Contains(failed.err, message)) << failed.err;
  }
}

// Imported texts keep the editor's rules: line breaks become spaces and the
// report names the fields; other control characters and bytes that are no
// UTF-8 skip the plan; an over-long property refuses the file.
TEST(ImportPlans, TextsKeepTheEditorsRulesAndLongPropertiesAreRefused) {
  TempDir dir;
  const std::string db = dir.File("schedule.db");
  testing::WriteFixture(db);
  const auto event = [](int day, const std::string& properties) {
    return "BEGIN:VEVENT\r\nUID:" + std::to_string(day) + "\r\nDTSTART:200201" +
           std::to_string(day) + "T090000\r\nDTEND:200201" + std::to_string(day) +
           "T100000\r\nLOCATION:发改委\r\n" + properties + "END:VEVENT\r\n";
  };
  std::ofstream(dir.File("texts.ics"), std::ios::binary)
      << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
      << event(14, "SUMMARY:两\u2028行\r\nDESCRIPTION:一\\n\\n二\r\n")
      << event(15, "SUMMARY:响\x07铃\r\n") << event(16, "SUMMARY:坏\xff字\r\n")
      << "END:VCALENDAR\r\n";
  const test_support::Outcome run = RunOstrand(
      dir, {"import-plans", "sqlite:" + db, dir.File("texts.ics"), "--person", "2", "--apply"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const char* line :
       {"added  line 3: 2002-01-14 09:00 – 2002-01-14 10:00 发改委 两 行 (line breaks in content "
        "and addition replaced by spaces)",
        "content holds the control character U+0007", "content is not UTF-8 text"}) {
    EXPECT_TRUE(Contains(run.out, line)) << line << "\n" << run.out;
  }
  EXPECT_EQ(store::Connect("sqlite:" + db)
                ->Query("SELECT planAddition FROM personPlan WHERE planContent = '两 行'")
                .Field(std::size_t{0})
                .ToText(),
            "一 二");

  // Folded into lines of 75 bytes, the property counts as one.
  std::string folded = "DESCRIPTION:";
  for (std::size_t size = 0; size <= feeds::kMaxCalendarLineBytes; size += 74) {
    folded += std::string(74, 'x') + "\r\n ";
  }
  const plans::ImportResult refused = feeds::ReadCalendar(
      "BEGIN:VCALENDAR\r\n" + event(17, folded + "x\r\n") + "END:VCALENDAR\r\n",
      feeds::TimeZone::Named("Asia/Shanghai"));
  EXPECT_TRUE(refused.plans.empty());
  ASSERT_EQ(refused.problems.size(), 1u);
  EXPECT_EQ(refused.problems[0].line, 7);
  EXPECT_TRUE(Contains(refused.problems[0].reason, "longer than 16 MiB"))
      << refused.problems[0].reason;
}

class HostTables : public ::testing::TestWithParam<test_support::TestBackend> {};

// The host's tokens, change records and imports on every engine, in a
// database made before the tokens and records existed.
TEST_P(HostTables, TokensChangesAndImportsOnEveryBackend) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  db->ExecuteScript("INSERT INTO person (personID, personName, dutyID, systemID) VALUES (1, 'A', 1, 1)");
  db->ExecuteScript("INSERT INTO planAddrType (planAddrTypeID, planAddrTypeName) VALUES (1, '本单位')");
  db->ExecuteScript("INSERT INTO planAddr (planAddrID, planAddrName, planAddrTypeID) VALUES (1, '会议室', 1)");
  db->ExecuteScript("DROP TABLE hostToken");
  db->ExecuteScript("DROP TABLE hostPlanChange");
  EXPECT_EQ(store::ReadSchemaVersion(*db), 1);
  store::UpgradeHostTables(*db);
  EXPECT_EQ(store::ReadSchemaVersion(*db), store::kSchemaVersion);

  const SecretKey key = RandomSecret();
  const PersonalTokens tokens(key);
  const std::string feed = tokens.FeedToken(*db, 1);
  EXPECT_EQ(tokens.FeedToken(*db, 1), feed);
  EXPECT_EQ(PersonalTokens::FindOwner(*db, TokenPurpose::kFeed, feed), 1);
  const std::string reset = tokens.ResetFeedToken(*db, 1);
  EXPECT_FALSE(PersonalTokens::FindOwner(*db, TokenPurpose::kFeed, feed));
  EXPECT_EQ(PersonalTokens::FindOwner(*db, TokenPurpose::kFeed, reset), 1);
  // Another key derives another token: the stored one is replaced.
  const SecretKey other_key = RandomSecret();
  EXPECT_NE(PersonalTokens(other_key).FeedToken(*db, 1), reset);
  EXPECT_FALSE(PersonalTokens::FindOwner(*db, TokenPurpose::kFeed, reset));
  const std::string api = PersonalTokens::NewApiToken(*db, 1);
  EXPECT_EQ(PersonalTokens::FindOwner(*db, TokenPurpose::kApi, api), 1);
  EXPECT_FALSE(PersonalTokens::FindOwner(*db, TokenPurpose::kFeed, api));
  EXPECT_TRUE(PersonalTokens::ApiTokenMade(*db, 1));
  EXPECT_TRUE(PersonalTokens::RevokeApiToken(*db, 1));
  EXPECT_FALSE(PersonalTokens::FindOwner(*db, TokenPurpose::kApi, api));
  EXPECT_THROW(tokens.FeedToken(*db, 2), Error);

  // The site's identity is made once; another connection (another server)
  // reads the same.
  const std::string identity = LoadSiteIdentity(*db);
  EXPECT_TRUE(std::regex_match(identity, std::regex("[0-9a-f]{12}\\.ostrand"))) << identity;
  EXPECT_EQ(LoadSiteIdentity(*store::Connect(database.connection_string())), identity);

  PlanRepository plans(*db);
  PlanInput input{DateTime::FromCivil(2001, 12, 5, 9), DateTime::FromCivil(2001, 12, 5, 10), 1, 1,
                  std::nullopt, std::string("例会"), std::nullopt, ostrand::store::kPrivatePlanFlag};
  const std::int64_t id = plans.Add(1, input, 20).plan_id;
  const std::int64_t person[] = {1};
  EXPECT_TRUE(LatestRecordedChange(*db, person, false));
  EXPECT_FALSE(LatestRecordedChange(*db, person, true));  // colleagues saw nothing
  input.flag = ostrand::store::kSharedPlanFlag;
  plans.Update(1, id, input, 20);
  std::vector<plans::PersonPlans> shown{{1, "A", {plans::PlanRecord{}}}};
  shown[0].plans[0].id = id;
  AddRecordedChanges(*db, shown);
  EXPECT_EQ(shown[0].plans[0].revision, 1);
  ASSERT_TRUE(shown[0].plans[0].last_modified);
  EXPECT_LE(*shown[0].plans[0].last_modified, UtcNow());
  EXPECT_TRUE(LatestRecordedChange(*db, person, true));
  EXPECT_TRUE(plans.Remove(1, id, UtcNow()).has_value());

  plans::ImportResult read;
  read.plans.push_back({2, "", {}, {}});
  read.plans[0].plan.start = DateTime::FromCivil(2001, 12, 6, 9);
  read.plans[0].plan.end = DateTime::FromCivil(2001, 12, 6, 10);
  read.plans[0].plan.place = "会议室";
  ImportSettings settings;
  settings.person_id = 1;
  settings.apply = true;
  const ImportReport report = ImportPlans(*db, read, settings);
  EXPECT_EQ(report.added.size(), 1u);
  EXPECT_TRUE(report.written);
  EXPECT_EQ(ImportPlans(*db, read, settings).skipped.size(), 1u);
  EXPECT_EQ(plans.PlansBetween(1, DateTime::FromCivil(2001, 12, 1), DateTime::FromCivil(2001, 12, 31))
                .size(),
            1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, HostTables, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::web

// The demo data generator, the demo database writer and `ostrand demo-db`.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "store/demo_data.h"
#include "store/demo_database.h"
#include "store/plan_store.h"
#include "web/auth/accounts.h"
#include "test_support.h"
#include "store/connect.h"

namespace ostrand::store {
namespace fs = std::filesystem;
namespace {

using test_support::ReadFile;

const DateTime kToday = DateTime::FromCivil(2001, 12, 5);

// Whether `text` is well-formed UTF-8 made only of characters of three
// bytes (the CJK range), as Chinese names are.
bool IsChineseUtf8(const std::string& text) {
  if (text.empty() || text.size() % 3 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 3) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0xE4 || lead > 0xE9) return false;
    for (std::size_t k = 1; k < 3; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
  }
  return true;
}

bool CrossesMonthEnd(const DemoPlan& plan) {
  return plan.start.year() == plan.end.year() && plan.start.month() != plan.end.month();
}

TEST(StoreDemoData, SameSeedGivesTheSameRowsAndAnotherSeedOthers) {
  const DemoData first = GenerateDemoData(1, kToday);
  EXPECT_EQ(first, GenerateDemoData(1, kToday));
  // Only the year of today counts.
  EXPECT_EQ(first, GenerateDemoData(1, DateTime::FromCivil(2001, 3, 17, 10, 0)));

  const DemoData second = GenerateDemoData(2, kToday);
  EXPECT_NE(first.plans, second.plans);
  EXPECT_NE(first.persons, second.persons);
  // The tables that hold no random choice are the same for every seed.
  EXPECT_EQ(first.duties, second.duties);
  EXPECT_EQ(first.places, second.places);

  const DemoData next_year = GenerateDemoData(1, DateTime::FromCivil(2002, 1, 1));
  EXPECT_EQ(next_year.plans.front().start.year(), 2002);
}

TEST(StoreDemoData, PersonsFillThreeSystemsEachWithALeader) {
  const DemoData data = GenerateDemoData(7, kToday);
  EXPECT_EQ(data.persons.size(), 40u);
  std::set<std::string> names;
  std::map<std::int64_t, int> persons_of_system, leaders_of_system;
  std::set<std::int64_t> duty_ids;
  for (const DemoDuty& duty : data.duties) {
    duty_ids.insert(duty.id);
    EXPECT_TRUE(IsChineseUtf8(duty.name)) << duty.name;
  }
  for (const DemoPerson& person : data.persons) {
    EXPECT_TRUE(IsChineseUtf8(person.name)) << person.name;
    EXPECT_GE(person.name.size(), 6u) << "family and given name: " << person.name;
    EXPECT_TRUE(names.insert(person.name).second) << "two persons named " << person.name;
    EXPECT_TRUE(duty_ids.contains(person.duty_id)) << person.id;
    ++persons_of_system[person.system_id];
    if (IsLeadingDuty(person.duty_id)) ++leaders_of_system[person.system_id];
  }
  EXPECT_EQ(persons_of_system.size(), 3u);
  for (const auto& [system, count] : persons_of_system) {
    EXPECT_GE(count, 10) << "system " << system;
    EXPECT_GE(leaders_of_system[system], 1) << "system " << system;
  }
  // Smaller duty ids are the senior ones: the leading duties are 1 to 3.
  EXPECT_EQ(data.duties.front().name, "局长");
  EXPECT_TRUE(IsLeadingDuty(3));
  EXPECT_FALSE(IsLeadingDuty(4));

  const DemoPerson& account = DemoAccount(data);
  EXPECT_EQ(account.system_id, 1);
  EXPECT_TRUE(IsLeadingDuty(account.duty_id));
  const std::vector<std::int64_t> ids = DemoPersonIds(data);
  EXPECT_EQ(ids.size(), data.persons.size());
  EXPECT_NE(std::find(ids.begin(), ids.end(), account.id), ids.end());
}

// Every plan points at rows that exist, its place is of its kind, and one
// person's plans never overlap; across the two years the data holds every
// shape the views must handle.
TEST(StoreDemoData, PlansAreConsistentAndCoverEveryShape) {
  for (const std::uint64_t seed : {1ULL, 2ULL, 99ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const DemoData data = GenerateDemoData(seed, kToday);
    std::map<std::int64_t, std::int64_t> kind_of_place;
    for (const DemoPlace& place : data.places) kind_of_place[place.id] = place.kind_id;
    std::set<std::int64_t> kinds, persons, plan_ids;
    for (const DemoPlaceKind& kind : data.place_kinds) kinds.insert(kind.id);
    for (const DemoPerson& person : data.persons) persons.insert(person.id);
    EXPECT_EQ(kinds, (std::set<std::int64_t>{1, 2, 3, 4}));
    EXPECT_GE(data.places.size(), 10u);

    std::map<std::int64_t, std::vector<const DemoPlan*>> by_person;
    std::map<std::pair<std::int64_t, int>, int> starts_per_person_month;
    std::set<std::int64_t> flags;
    int multi_day = 0, cross_month = 0, cross_year = 0;
    for (const DemoPlan& plan : data.plans) {
      EXPECT_TRUE(plan_ids.insert(plan.id).second) << plan.id;
      EXPECT_TRUE(persons.contains(plan.person_id)) << plan.id;
      EXPECT_TRUE(kinds.contains(plan.kind_id)) << plan.id;
      ASSERT_TRUE(kind_of_place.contains(plan.place_id)) << plan.id;
      EXPECT_EQ(kind_of_place[plan.place_id], plan.kind_id) << plan.id;
      EXPECT_LT(plan.start, plan.end) << plan.id;
      EXPECT_TRUE(IsChineseUtf8(plan.content)) << plan.id;
      EXPECT_TRUE(plan.flag_id == kSharedPlanFlag || plan.flag_id == kPrivatePlanFlag);
      EXPECT_TRUE(plan.start.year() == 2001 || plan.start.year() == 2002) << plan.id;
      flags.insert(plan.flag_id);
      if (plan.start.day() != plan.end.day()) ++multi_day;
      if (CrossesMonthEnd(plan)) ++cross_month;
      if (plan.start.year() == 2001 && plan.end.year() == 2002) ++cross_year;
      by_person[plan.person_id].push_back(&plan);
      ++starts_per_person_month[{plan.person_id,
                                 (plan.start.year() - 2001) * 12 + plan.start.month()}];
    }
    EXPECT_EQ(flags.size(), 2u);
    EXPECT_GT(multi_day, 100);
    EXPECT_GT(cross_month, 0);
    EXPECT_GT(cross_year, 0);

    // A few plans in every month of every person: full, not crowded.
    EXPECT_EQ(starts_per_person_month.size(), data.persons.size() * 24);
    for (const auto& [person_month, count] : starts_per_person_month) {
      EXPECT_LE(count, 6) << "person " << person_month.first << " month " << person_month.second;
    }
    for (auto& [person, plans] : by_person) {
      std::sort(plans.begin(), plans.end(),
                [](const DemoPlan* a, const DemoPlan* b) { return a->start < b->start; });
      for (std::size_t i = 1; i < plans.size(); ++i) {
        EXPECT_LE(plans[i - 1]->end, plans[i]->start)
            << "plans " << plans[i - 1]->id << " and " << plans[i]->id << " overlap";
      }
    }
  }
}

// Whichever month the demo account looks at, its month view shows a shared
// and a private plan.
TEST(StoreDemoData, DemoAccountSeesBothFlagsInEveryMonth) {
  const DemoData data = GenerateDemoData(5, kToday);
  for (int index = 0; index < 24; ++index) {
    const DateTime first = DateTime::FromCivil(2001, 1, 1).AddMonths(index);
    const DateTime after = first.AddMonths(1);
    std::set<std::int64_t> flags;
    for (const DemoPlan& plan : data.plans) {
      if (plan.person_id == data.demo_account && plan.start < after && first <= plan.end) {
        flags.insert(plan.flag_id);
      }
    }
    EXPECT_EQ(flags.size(), 2u) << "month " << first.ToText();
  }
}

class StoreDemoDatabase : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return dir_.File(name); }
  std::vector<std::string> FilesInDir() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test_support::TempDir dir_;
};

int CountOf(PlanStore& store, const std::string& sql) {
  RecordSet rs = store.Query(sql);
  return static_cast<int>(rs.Field(0).ToNumber());
}

TEST_F(StoreDemoDatabase, RowsReadBackThroughThePlanStore) {
  const DemoData data = GenerateDemoData(3, kToday);
  const std::string path = PathOf("demo.db");
  WriteDemoDatabase(data, path, false);
  EXPECT_EQ(FilesInDir(), std::vector<std::string>{"demo.db"}) << "no temporary file is left";

  PlanStore store;
  store.Open("sqlite:" + path);
  EXPECT_EQ(CountOf(store, "select count(*) from person"), 40);
  EXPECT_EQ(CountOf(store, "select count(*) from planAddrType"), 4);
  // Every plan survives the inner join of the component's plan select.
  EXPECT_EQ(CountOf(store,
                    "select count(*) from personPlan,planAddrType,planAddr where "
                    "personPlan.planAddrTypeID=planAddrType.planAddrTypeID and "
                    "personPlan.planAddrID=planAddr.planAddrID and "
                    "planAddr.planAddrTypeID=personPlan.planAddrTypeID"),
            static_cast<int>(data.plans.size()));

  // A plan comes back with its dates as dates and its empty texts as NULL.
  const auto plan = std::find_if(data.plans.begin(), data.plans.end(), [](const DemoPlan& p) {
    return p.addition.empty() && !p.detail.empty();
  });
  ASSERT_NE(plan, data.plans.end());
  RecordSet rs = store.Query(
      "select personName, planStartTime, planEndTime, planAddrDetail, planContent, planAddition "
      "from personPlan, person where personPlan.personID = person.personID and planID = " +
      std::to_string(plan->id));
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Field("personName").ToText(), data.persons[plan->person_id - 1].name);
  EXPECT_EQ(rs.Field("planStartTime"), Value::Date(plan->start));
  EXPECT_EQ(rs.Field("planEndTime"), Value::Date(plan->end));
  EXPECT_EQ(rs.Field("planAddrDetail").ToText(), plan->detail);
  EXPECT_EQ(rs.Field("planContent").ToText(), plan->content);
  EXPECT_TRUE(rs.Field("planAddition").is_null());
}

TEST_F(StoreDemoDatabase, SameRowsGiveTheSameFileBytes) {
  WriteDemoDatabase(GenerateDemoData(1, kToday), PathOf("a.db"), false);
  WriteDemoDatabase(GenerateDemoData(1, kToday), PathOf("b.db"), false);
  WriteDemoDatabase(GenerateDemoData(2, kToday), PathOf("c.db"), false);
  EXPECT_EQ(ReadFile(PathOf("a.db")), ReadFile(PathOf("b.db")));
  EXPECT_NE(ReadFile(PathOf("a.db")), ReadFile(PathOf("c.db")));
}

TEST_F(StoreDemoDatabase, AnExistingFileIsKeptUnlessReplaced) {
  const DemoData data = GenerateDemoData(1, kToday);
  const std::string path = PathOf("demo.db");
  std::ofstream(path) << "precious";
  try {
    WriteDemoDatabase(data, path, false);
    ADD_FAILURE() << "an existing file was overwritten";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(path), "precious");
  EXPECT_EQ(FilesInDir(), std::vector<std::string>{"demo.db"});

  WriteDemoDatabase(data, path, true);
  PlanStore store;
  store.Open("sqlite:" + path);
  EXPECT_EQ(CountOf(store, "select count(*) from personPlan"), static_cast<int>(data.plans.size()));
  EXPECT_EQ(FilesInDir(), std::vector<std::string>{"demo.db"});
}

TEST_F(StoreDemoDatabase, AnUnwritablePlaceFailsWithoutLeftovers) {
  const std::string path = PathOf("missing/demo.db");
  try {
    WriteDemoDatabase(GenerateDemoData(1, kToday), path, true);
    ADD_FAILURE() << "wrote into a missing directory";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_TRUE(FilesInDir().empty());
}

TEST_F(StoreDemoDatabase, AFailingFinishLeavesNoFile) {
  const std::string path = PathOf("demo.db");
  bool ran = false;
  EXPECT_THROW(WriteDemoDatabase(GenerateDemoData(1, kToday), path, false,
                                 [&](Connection& db) {
                                   ran = true;
                                   EXPECT_NE(db.name(), path);
                                   EXPECT_TRUE(fs::exists(db.name()));
                                   throw Error("accounts failed");
                                 }),
               Error);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(FilesInDir().empty());
}

// ---- the command ------------------------------------------------------------

using test_support::Outcome;

class DemoDbCommand : public StoreDemoDatabase {
 protected:
  // Runs ostrand with `args`; no shell involved.
  Outcome Ostrand(const std::vector<std::string>& args) {
    return test_support::RunOstrand(dir_, args);
  }
};

// Every row of the schedule tables, as text: the same seed must give the same
// rows (the sign-in hashes differ run to run, as their salts do).
std::string ScheduleRows(const std::string& path) {
  PlanStore db;
  db.Open("sqlite:" + path);
  std::string rows;
  for (const char* table : {"personDuty", "person", "planAddrType", "planAddr", "personPlan"}) {
    RecordSet set = db.Query(std::string("SELECT * FROM ") + table + " ORDER BY 1");
    for (; !set.Eof(); set.MoveNext()) {
      for (std::size_t i = 0; i < set.column_count(); ++i) rows += set.Field(i).ToText() + '|';
      rows += '\n';
    }
  }
  return rows;
}

TEST_F(DemoDbCommand, WritesOnceAndReplacesOnlyWithForce) {
  const std::string path = PathOf("demo.db");
  Outcome run = Ostrand({"demo-db", path});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
  EXPECT_NE(run.out.find("40 persons"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(path), std::string::npos) << run.out;
  const std::string seed1 = ScheduleRows(path);
  ASSERT_NE(seed1, "");
  const std::string bytes1 = ReadFile(path);

  run = Ostrand({"demo-db", path, "--seed", "2"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(path), bytes1);

  run = Ostrand({"demo-db", path, "--seed", "2", "--force"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(ScheduleRows(path), seed1);

  // The default seed is 1: the same rows as the first run.
  run = Ostrand({"demo-db", "--force", path});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ScheduleRows(path), seed1);
}

// Every demo person can sign in with the printed password; each run draws a
// new one unless --password names it.
TEST_F(DemoDbCommand, GivesEveryDemoPersonThePrintedPassword) {
  const auto password_of = [](const std::string& out) {
    const std::string label = "password of every demo person: ";
    const std::size_t at = out.find(label);
    if (at == std::string::npos) return std::string();
    const std::size_t from = at + label.size();
    return out.substr(from, out.find('\n', from) - from);
  };
  const std::string path = PathOf("demo.db");
  Outcome run = Ostrand({"demo-db", path});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string first = password_of(run.out);
  ASSERT_EQ(first.size(), 12u) << run.out;

  const std::unique_ptr<Connection> connection = Connect("sqlite:" + path);
  Connection& db = *connection;
  const web::SignInChecker checker(web::PasswordLimits::Minimal());
  const DemoData data = GenerateDemoData(1, kToday);
  for (const std::int64_t id : DemoPersonIds(data)) {
    const auto person = checker.Check(db, std::to_string(id), first);
    ASSERT_TRUE(person.has_value()) << id;
    EXPECT_EQ(person->id, id);
  }
  EXPECT_FALSE(checker.Check(db, "1", first + "x").has_value());

  run = Ostrand({"demo-db", path, "--force"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string second = password_of(run.out);
  EXPECT_NE(second, first);

  run = Ostrand({"demo-db", path, "--force", "--password", "chosen-one"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(password_of(run.out), "chosen-one");
  EXPECT_TRUE(checker.Check(*Connect("sqlite:" + path), "1", "chosen-one").has_value());
}

// The written database drives the personal views: the demo account's month
// shows its own plans of both flags; a colleague's view of it leaves the
// private ones out.
TEST_F(DemoDbCommand, MonthViewsShowTheDemoPlans) {
  const std::string path = PathOf("demo.db");
  ASSERT_EQ(Ostrand({"demo-db", path}).exit_code, 0);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ASSERT_NE(::localtime_r(&now, &local), nullptr);
  const DemoData data =
      GenerateDemoData(1, DateTime::FromCivil(local.tm_year + 1900, local.tm_mon + 1, 1));
  const DemoPerson& account = DemoAccount(data);
  const std::string id = std::to_string(account.id);
  // The first month of next year (inside the data whatever today is) whose
  // private plans show a text that no shared plan contains ("业务培训" is
  // part of "参加业务培训").
  DateTime first;
  std::set<std::string> shared, private_only;
  for (int month = 1; month <= 12 && private_only.empty(); ++month) {
    first = DateTime::FromCivil(local.tm_year + 1901, month, 1);
    const DateTime after = first.AddMonths(1);
    shared.clear();
    for (const DemoPlan& plan : data.plans) {
      if (plan.person_id != account.id || !(plan.start < after && first <= plan.end)) continue;
      (plan.flag_id == kSharedPlanFlag ? shared : private_only).insert(plan.content);
    }
    std::erase_if(private_only, [&](const std::string& content) {
      return std::any_of(shared.begin(), shared.end(), [&](const std::string& s) {
        return s.find(content) != std::string::npos;
      });
    });
  }
  ASSERT_FALSE(shared.empty());
  ASSERT_FALSE(private_only.empty());

  const auto month_of = [&](const std::string& viewer) {
    const Outcome run =
        Ostrand({"call", "--db", "sqlite:" + path, "--session", "personID=int:" + viewer,
                 "DispMonth", "date:" + first.ToText(), "int:" + id});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return run.out;
  };
  const std::string own = month_of(id);
  const std::string colleague = month_of("2");
  for (const std::string& content : shared) {
    EXPECT_NE(own.find(content), std::string::npos) << content;
    EXPECT_NE(colleague.find(content), std::string::npos) << content;
  }
  for (const std::string& content : private_only) {
    EXPECT_NE(own.find(content), std::string::npos) << content;
    EXPECT_EQ(colleague.find(content), std::string::npos) << content;
  }
}

TEST_F(DemoDbCommand, ReportsAnUnwritablePath) {
  const Outcome run = Ostrand({"demo-db", PathOf("no/such/dir/demo.db")});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("ostrand: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("no/such/dir/demo.db"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace ostrand::store

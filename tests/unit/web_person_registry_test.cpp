// The registry of persons on SQLite and PostgreSQL: new ids above every id
// ever used, also when two servers add at once; the checks of names,
// duties and departments; what retiring ends; the paged list; and the
// staff import and export.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

#include "core/error.h"
#include "exports/staff_csv.h"
#include "store/connect.h"
#include "test_databases.h"
#include "test_support.h"
#include "plans/leader_list.h"
#include "web/data/accounts_table.h"
#include "web/data/department_plans.h"
#include "web/data/person_registry.h"
#include "web/data/persons.h"
#include "web/data/staff_import.h"
#include "web/data/tokens_table.h"

namespace ostrand::web {
namespace {

using test_support::TestBackend;
using test_support::TestDatabase;

std::int64_t Count(store::Connection& db, const std::string& sql) {
  return static_cast<std::int64_t>(db.Query(sql).Field(std::size_t{0}).ToNumber());
}

ErrorKind KindOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const Error& e) {
    return e.kind();
  }
  ADD_FAILURE() << "no Error";
  return ErrorKind::kInternal;
}

class PersonRegistry : public ::testing::TestWithParam<TestBackend> {
 protected:
  PersonRegistry() : database_(GetParam()), db_(store::Connect(database_.connection_string())) {
    testing::WriteFixtureTo(database_.connection_string());
  }
  TestDatabase database_;
  std::unique_ptr<store::Connection> db_;
};

TEST_P(PersonRegistry, NewIdsLieAboveEveryIdEverUsed) {
  // Person 4 deleted by SQL, a token of person 9 left behind.
  db_->ExecuteScript(
      "DELETE FROM person WHERE personID = 4;"
      "INSERT INTO hostToken (tokenHash, personID, purpose, createdAt) "
      "VALUES ('h9', 9, 'api', '2001-12-01 00:00:00')");
  const PersonFields fields{"  新同事 ", 4, 1};
  std::vector<std::int64_t> audited;
  const std::int64_t first = AddPerson(*db_, fields, [&](std::int64_t id) { audited.push_back(id); });
  EXPECT_EQ(first, 10);
  EXPECT_EQ(audited, std::vector<std::int64_t>{10});
  EXPECT_EQ(FindPerson(*db_, first)->name, "新同事");
  // Gone by SQL together with the stray token: the high water mark stays.
  db_->ExecuteScript("DELETE FROM person WHERE personID = 10; DELETE FROM hostToken");
  EXPECT_EQ(AddPerson(*db_, fields), 11);
}

TEST_P(PersonRegistry, ConcurrentAddsNeverShareAnId) {
  // The SQLite ODBC driver sleeps out long stretches of its busy timeout
  // while the other writer holds the file (over a minute here); SQLite
  // itself is covered by kSqlite.
  if (GetParam() == TestBackend::kOdbcSqlite) GTEST_SKIP() << "slow busy waits of the driver";
  constexpr int kEach = 15;
  std::vector<std::int64_t> ids[2];
  std::thread adders[2];
  for (int t = 0; t < 2; ++t) {
    adders[t] = std::thread([&, t] {
      const std::unique_ptr<store::Connection> own = store::Connect(database_.connection_string());
      for (int i = 0; i < kEach; ++i) {
        ids[t].push_back(AddPerson(*own, {"同事" + std::to_string(t) + "-" + std::to_string(i), 4, 1}));
      }
    });
  }
  for (std::thread& adder : adders) adder.join();
  std::set<std::int64_t> distinct(ids[0].begin(), ids[0].end());
  distinct.insert(ids[1].begin(), ids[1].end());
  EXPECT_EQ(distinct.size(), 2u * kEach);
  EXPECT_EQ(*distinct.begin(), 5);
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM person"), 4 + 2 * kEach);
}

TEST_P(PersonRegistry, RefusesBadNamesDutiesDepartmentsAndPersons) {
  EXPECT_EQ(KindOf([&] { AddPerson(*db_, {"   ", 4, 1}); }), ErrorKind::kBadInput);
  EXPECT_EQ(KindOf([&] { AddPerson(*db_, {"a\tb", 4, 1}); }), ErrorKind::kBadInput);
  EXPECT_EQ(KindOf([&] { AddPerson(*db_, {std::string(101, 'x'), 4, 1}); }), ErrorKind::kBadInput);
  EXPECT_NO_THROW(CheckedPersonName(std::string(100, 'x')));
  try {
    AddPerson(*db_, {"新人", 99, 1});
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.message_text(), "there is no duty 99");
  }
  EXPECT_EQ(KindOf([&] { AddPerson(*db_, {"新人", 4, 7}); }), ErrorKind::kBadInput);
  // A named department without persons exists.
  db_->ExecuteScript("INSERT INTO hostDepartment (systemID, departmentName) VALUES (7, '新处')");
  EXPECT_GT(AddPerson(*db_, {"新人", 4, 7}), 4);
  EXPECT_EQ(KindOf([&] { EditPerson(*db_, 99, {"x", 4, 1}); }), ErrorKind::kNotFound);
  EXPECT_FALSE(EditPerson(*db_, testing::kLi, {"李科员", 4, 1}));
  EXPECT_TRUE(EditPerson(*db_, testing::kLi, {"李四", 1, 2}));
  EXPECT_EQ(FindPerson(*db_, testing::kLi)->system_id, 2);
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM person WHERE personID > 5"), 0);  // nothing added
}

TEST_P(PersonRegistry, RetiringEndsTokensAndSessionsAndReinstatingUndoesOnlyTheMark) {
  const int li = testing::kLi;
  db_->ExecuteScript(
      "INSERT INTO hostToken (tokenHash, personID, purpose, createdAt) VALUES "
      "('f2', 2, 'feed', '2001-12-01 00:00:00'), ('a2', 2, 'api', '2001-12-01 00:00:00'),"
      "('i2', 2, 'invite', '2001-12-01 00:00:00'), ('f1', 1, 'feed', '2001-12-01 00:00:00');"
      "INSERT INTO hostSession (sessionKey, personID, startedAt, expiresAt, lastSeenAt) VALUES "
      "('s2', 2, '2001-12-01 08:00:00', '2001-12-01 20:00:00', '2001-12-01 09:00:00')");
  const std::int64_t generation = SessionGenerations(*db_, li)->person;
  RetirePerson(*db_, li, testing::kZhang, DateTime::FromCivil(2001, 12, 5, 10, 0, 0));
  EXPECT_TRUE(RetiredAt(*db_, li));
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM hostToken WHERE personID = 2"), 0);
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM hostToken"), 1);
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM hostSession WHERE endedAt IS NOT NULL"), 1);
  EXPECT_FALSE(SessionGenerations(*db_, li));  // no session of Li's opens
  EXPECT_FALSE(StoredPasswordHash(*db_, li));  // the sign-in finds no account
  // A token row that survived opens nothing.
  db_->ExecuteScript(
      "INSERT INTO hostToken (tokenHash, personID, purpose, createdAt) "
      "VALUES ('f2', 2, 'feed', '2001-12-01 00:00:00')");
  EXPECT_FALSE(StoredTokenOwner(*db_, "f2", "feed"));
  EXPECT_TRUE(FindPerson(*db_, li));  // kept, with the plans
  const auto listed = [&](const std::vector<Person>& persons) {
    std::vector<std::int64_t> ids;
    for (const Person& p : persons) ids.push_back(p.id);
    return ids;
  };
  EXPECT_EQ(listed(*PersonsOfSystem(*db_, 1)), (std::vector<std::int64_t>{1, 4}));
  EXPECT_EQ(listed(LeaderListPersons(*db_, 1, plans::CurrentStaffCondition("1=0 or 1=1"))),
            (std::vector<std::int64_t>{1, 4}));
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM personPlan WHERE personID = 2"), 2);
  EXPECT_EQ(KindOf([&] { RetirePerson(*db_, li, std::nullopt, DateTime::FromCivil(2001, 12, 6)); }),
            ErrorKind::kConflict);
  EXPECT_EQ(KindOf([&] { RetirePerson(*db_, 99, std::nullopt, DateTime::FromCivil(2001, 12, 6)); }),
            ErrorKind::kNotFound);

  ReinstatePerson(*db_, li);
  EXPECT_FALSE(RetiredAt(*db_, li));
  EXPECT_GT(SessionGenerations(*db_, li)->person, generation);  // the old cookies stay ended
  EXPECT_EQ(KindOf([&] { ReinstatePerson(*db_, li); }), ErrorKind::kConflict);
  EXPECT_EQ(KindOf([&] { ReinstatePerson(*db_, 99); }), ErrorKind::kNotFound);
}

TEST_P(PersonRegistry, ListsByDepartmentDutyOrderAndIdInPages) {
  db_->ExecuteScript(
      "INSERT INTO personDuty VALUES (2, '处长');"
      "INSERT INTO hostDuty (dutyID, dutyOrder, leads) VALUES (4, 0, 0);"
      "INSERT INTO hostDepartment (systemID, departmentName) VALUES (1, '办公室');"
      "INSERT INTO person VALUES (5, '钱处长', 2, 1), (6, '100%_!李', 4, 1)");
  RetirePerson(*db_, testing::kZhao, std::nullopt, DateTime::FromCivil(2001, 12, 5));
  const auto ids = [](const PersonList& list) {
    std::vector<std::int64_t> out;
    for (const ListedPerson& p : list.persons) out.push_back(p.id);
    return out;
  };
  PersonQuery query;
  // Duty 4 comes first by its order; retired Zhao left out.
  EXPECT_EQ(ids(SearchPersons(*db_, query)), (std::vector<std::int64_t>{2, 6, 1, 5, 3}));
  query.include_retired = true;
  const PersonList all = SearchPersons(*db_, query);
  EXPECT_EQ(ids(all), (std::vector<std::int64_t>{2, 4, 6, 1, 5, 3}));
  EXPECT_EQ(all.persons[0].department_name, "办公室");
  EXPECT_EQ(all.persons[0].duty_name, "科员");
  EXPECT_TRUE(all.persons[1].retired_at);
  query.offset = 2;
  query.limit = 2;
  const PersonList page = SearchPersons(*db_, query);
  EXPECT_EQ(ids(page), (std::vector<std::int64_t>{6, 1}));
  EXPECT_EQ(page.total, 6);
  query = {};
  query.name_part = "%_!";  // the pattern's own characters match only themselves
  EXPECT_EQ(ids(SearchPersons(*db_, query)), std::vector<std::int64_t>{6});
  query = {};
  query.department_id = 1;
  query.duty_id = 4;
  EXPECT_EQ(ids(SearchPersons(*db_, query)), (std::vector<std::int64_t>{2, 6}));
  EXPECT_EQ(SearchPersons(*db_, query).total, 2);
}

// Import and export: the dry run lists every record, the apply writes all
// or nothing, the export reads back unchanged.
TEST_P(PersonRegistry, StaffImportMatchesDryRunsAppliesAndRefusesWhole) {
  db_->ExecuteScript(
      "INSERT INTO hostDepartment (systemID, departmentName) VALUES (1, '办公室'), (2, '外单位')");
  const std::string csv =
      "\xEF\xBB\xBF姓名,部门,职务,编号\r\n"
      "李科员,办公室,局长,\r\n"   // change by name: duty
      "新同事,2,科员,\r\n"         // add
      ",,,4\r\n"                   // unchanged by number
      "张局长改名,,,1\r\n";        // rename by number
  const plans::StaffFile file = exports::ReadStaffCsv(csv);
  ASSERT_TRUE(file.problems.empty());
  StaffImportReport dry = ImportStaff(*db_, file, false);
  ASSERT_EQ(dry.entries.size(), 4u);
  EXPECT_EQ(dry.entries[0].action, StaffAction::kChange);
  EXPECT_EQ(dry.entries[0].reason, "duty 科员 (4) → 局长 (1)");
  EXPECT_EQ(dry.entries[1].action, StaffAction::kAdd);
  EXPECT_EQ(dry.entries[2].action, StaffAction::kUnchanged);
  EXPECT_EQ(dry.entries[3].action, StaffAction::kChange);
  EXPECT_FALSE(dry.written);
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM person"), 4);

  int audited = 0;
  const StaffImportReport applied =
      ImportStaff(*db_, file, true, [&](const StaffImportReport&) { ++audited; });
  EXPECT_TRUE(applied.written);
  EXPECT_EQ(audited, 1);
  EXPECT_EQ(applied.entries[1].person_id, 5);
  EXPECT_EQ(FindPerson(*db_, 1)->name, "张局长改名");
  EXPECT_EQ(FindPerson(*db_, 2)->duty_id, 1);

  // Exported and read back: every record unchanged.
  const StaffImportReport again =
      ImportStaff(*db_, exports::ReadStaffCsv(exports::WriteStaffCsv(StaffRecords(*db_))), false);
  EXPECT_EQ(again.unchanged, 5u);
  EXPECT_EQ(again.refused, 0u);

  // One refused record keeps the whole file out.
  db_->ExecuteScript("INSERT INTO person VALUES (6, '同名', 4, 1), (7, '同名', 4, 1)");
  const StaffImportReport refused = ImportStaff(
      *db_,
      exports::ReadStaffCsv("name,department,duty\n又一位,1,4\n同名,1,4\n李科员,9,4\n,1,4\n"
                            "又一位,1,4\n"),
      true);
  EXPECT_FALSE(refused.written);
  EXPECT_EQ(refused.added, 1u);
  ASSERT_EQ(refused.refused, 4u);
  EXPECT_EQ(refused.entries[1].reason, "2 persons are named '同名': give the number");
  EXPECT_EQ(refused.entries[2].reason, "there is no department '9'");
  EXPECT_EQ(refused.entries[3].reason, "the record gives neither a number nor a name");
  EXPECT_EQ(refused.entries[4].reason, "line 2 adds a person of this name already");
  EXPECT_EQ(Count(*db_, "SELECT COUNT(*) FROM person WHERE personName = '又一位'"), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, PersonRegistry,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

TEST(StaffCsv, HeadingsInEitherLanguageAndTheFilesProblems) {
  const plans::StaffFile english = exports::ReadStaffCsv("Number, NAME ,Duty\n3,王, 4 \n\n,,\n");
  ASSERT_EQ(english.records.size(), 1u);
  EXPECT_EQ(english.records[0].line, 2);
  EXPECT_EQ(english.records[0].name, "王");
  EXPECT_EQ(english.records[0].duty, "4");
  EXPECT_EQ(english.records[0].department, "");
  EXPECT_EQ(exports::ReadStaffCsv("部门,职务\n1,4\n").problems.at(0).reason,
            "the heading names neither 编号 (number) nor 姓名 (name)");
  EXPECT_EQ(exports::ReadStaffCsv("姓名,部门,部门\n").problems.at(0).reason,
            "column '部门' appears twice (the columns are 编号 or 姓名, 部门, 职务)");
  const plans::StaffFile extra = exports::ReadStaffCsv("姓名,岗位\n李,1\n");
  EXPECT_TRUE(extra.records.empty());
  EXPECT_TRUE(extra.problems.at(0).reason.starts_with("unknown column '岗位'"));
  const plans::StaffFile wide = exports::ReadStaffCsv("姓名\n李,1\n赵\n");
  EXPECT_EQ(wide.problems.at(0).line, 2);
  EXPECT_EQ(wide.records.size(), 1u);
}

}  // namespace
}  // namespace ostrand::web

namespace ostrand::web {
namespace {

// `ostrand persons`: the export read back changes nothing; a refused record
// fails the import and writes nothing.
TEST(PersonsCommand, ExportsImportsAndRefuses) {
  using test_support::Contains;
  const test_support::TempDir dir;
  const std::string db = dir.File("schedule.db");
  testing::WriteFixture(db);
  const test_support::Outcome exported = test_support::RunOstrand(dir, {"persons", "export", "sqlite:" + db});
  ASSERT_EQ(exported.exit_code, 0) << exported.err;
  EXPECT_TRUE(exported.out.starts_with("\xEF\xBB\xBF编号,姓名,部门,职务,离职\r\n1,张局长,1,局长,\r\n"));
  const std::string file = dir.File("staff.csv");
  std::ofstream(file, std::ios::binary) << exported.out << ",新同事,1,科员,\r\n";
  const test_support::Outcome dry =
      test_support::RunOstrand(dir, {"persons", "import", "sqlite:" + db, file, "--dry-run"});
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_TRUE(Contains(dry.out, "add       line 6: 新同事\n")) << dry.out;
  EXPECT_TRUE(Contains(dry.out, "1 to add, 0 to change, 4 unchanged, 0 refused")) << dry.out;
  std::ofstream(file, std::ios::app) << "9,无此人,1,科员,\r\n";
  const test_support::Outcome refused =
      test_support::RunOstrand(dir, {"persons", "import", "sqlite:" + db, file});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_TRUE(Contains(refused.out, "refused   line 7: there is no person 9")) << refused.out;
  EXPECT_EQ(Count(*store::Connect("sqlite:" + db), "SELECT COUNT(*) FROM person"), 4);
}

}  // namespace
}  // namespace ostrand::web

// The web host's plan queries on every backend: deleting into the undo
// store and restoring, copies written all or none, and the department's
// plans of the away page and the leader summary over months.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>

#include "store/connect.h"
#include "store/engine_sql.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/data/department_plans.h"
#include "web/data/plan_repository.h"
#include "web/data/settings.h"

namespace ostrand::web {
namespace {

using test_support::TestBackend;
using test_support::TestDatabase;

DateTime Day(int y, int m, int d, int h = 0) { return DateTime::FromCivil(y, m, d, h, 0, 0); }

class PlanQueries : public ::testing::TestWithParam<TestBackend> {
 protected:
  void SetUp() override {
    database_ = std::make_unique<TestDatabase>(GetParam());
    testing::WriteFixtureTo(database_->connection_string());
    db_ = store::Connect(database_->connection_string());
  }
  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<store::Connection> db_;
};

TEST_P(PlanQueries, ADeletedPlanComesBackUnderItsIdOnce) {
  PlanRepository plans(*db_);
  const std::vector<StoredPlan> day = plans.PlansOfDay(testing::kLi, Day(2001, 12, 11));
  ASSERT_EQ(day.size(), 1u);
  const StoredPlan before = day.front();

  const DateTime now = Day(2001, 12, 20, 10);
  EXPECT_FALSE(plans.Remove(testing::kZhang, before.id, now)) << "only the owner's plan";
  const std::optional<std::int64_t> entry = plans.Remove(testing::kLi, before.id, now);
  ASSERT_TRUE(entry);
  EXPECT_TRUE(plans.PlansOfDay(testing::kLi, Day(2001, 12, 11)).empty());
  const std::vector<DeletedPlan> deleted = plans.RecentlyDeleted(testing::kLi);
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_EQ(deleted.front().plan.content, before.content);
  EXPECT_EQ(deleted.front().deleted_at, now);
  EXPECT_TRUE(plans.RecentlyDeleted(testing::kZhang).empty());
  EXPECT_EQ(plans.Restore(testing::kZhang, *entry, 20).plan_id, 0);

  const PlanWrite restored = plans.Restore(testing::kLi, *entry, 20);
  EXPECT_EQ(restored.plan_id, before.id);
  const std::optional<StoredPlan> back = plans.FindPlan(testing::kLi, before.id);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->start, before.start);
  EXPECT_EQ(back->end, before.end);
  EXPECT_EQ(back->detail, before.detail);
  EXPECT_EQ(back->flag, before.flag);
  EXPECT_EQ(plans.Restore(testing::kLi, *entry, 20).plan_id, 0) << "an entry restores once";
  EXPECT_TRUE(plans.RecentlyDeleted(testing::kLi).empty());

  // A new plan after the restore gets a fresh id.
  PlanInput next;
  next.start = Day(2001, 12, 28, 9);
  next.end = Day(2001, 12, 28, 10);
  next.kind_id = 1;
  next.place_id = 1;
  next.flag = ostrand::store::kSharedPlanFlag;
  EXPECT_NE(plans.Add(testing::kLi, next, 20).plan_id, before.id);
}

// The newest plan deleted and another added: the new one has an id of its
// own and its own change record, so calendars never see one turn into the
// other.
TEST_P(PlanQueries, ADeletedPlansIdIsNeverGivenAgain) {
  PlanRepository plans(*db_);
  PlanInput input;
  input.start = Day(2001, 12, 28, 9);
  input.end = Day(2001, 12, 28, 10);
  input.kind_id = 1;
  input.place_id = 1;
  const std::int64_t first = plans.Add(testing::kLi, input, 20).plan_id;
  ASSERT_NE(first, 0);
  ASSERT_NE(plans.Update(testing::kLi, first, input, 20).plan_id, 0);
  ASSERT_TRUE(plans.Remove(testing::kLi, first, Day(2001, 12, 20)));
  const std::int64_t second = plans.Add(testing::kLi, input, 20).plan_id;
  EXPECT_GT(second, first);
  const auto revision = [&](std::int64_t id) {
    const std::array param{store::SqlParam::Integer(id)};
    return db_->Query("SELECT revision FROM hostPlanChange WHERE planID = ?", param)
        .Field(std::size_t{0})
        .ToNumber();
  };
  EXPECT_EQ(revision(first), 2);
  EXPECT_EQ(revision(second), 0);
}

TEST_P(PlanQueries, CopiesAreWrittenAllOrNone) {
  PlanRepository plans(*db_);
  PlanInput copy;
  copy.kind_id = 1;
  copy.place_id = 1;
  copy.flag = ostrand::store::kSharedPlanFlag;
  std::vector<PlanInput> copies;
  for (const int d : {17, 18, 10}) {  // Li has a plan on the 10th already
    copy.start = Day(2001, 12, d, 9);
    copy.end = Day(2001, 12, d, 10);
    copies.push_back(copy);
  }
  const PlanWrite refused = plans.AddAll(testing::kLi, copies, 1);
  EXPECT_EQ(refused.full_day, Day(2001, 12, 10));
  EXPECT_TRUE(plans.PlansOfDay(testing::kLi, Day(2001, 12, 17)).empty());
  copies.pop_back();
  EXPECT_NE(plans.AddAll(testing::kLi, copies, 1).plan_id, 0);
  EXPECT_EQ(plans.PlansBetween(testing::kLi, Day(2001, 12, 17), Day(2001, 12, 18)).size(), 2u);
}

TEST_P(PlanQueries, DepartmentPlansKeepPrivatePlansToTheirOwner) {
  const std::vector<Person> persons = LeaderListPersons(*db_, 1, "person.dutyID>3");
  ASSERT_EQ(persons.size(), 2u);
  EXPECT_EQ(persons[0].id, testing::kLi);
  const std::vector<DepartmentPlan> leader =
      LeaderListPlans(*db_, 1, "1=1", Day(2001, 12, 1), Day(9999, 12, 31));
  ASSERT_EQ(leader.size(), 2u);  // the shared plans of Zhang and Li
  EXPECT_EQ(leader[1].content, "李共享调研");

  const std::vector<DepartmentPlan> others =
      SystemPlans(*db_, 1, testing::kZhang, Day(2001, 12, 10), Day(2001, 12, 16), {2, 3, 4});
  ASSERT_EQ(others.size(), 1u);
  EXPECT_EQ(others[0].place_name, "发改委");
  const std::vector<DepartmentPlan> own =
      SystemPlans(*db_, 1, testing::kLi, Day(2001, 12, 10), Day(2001, 12, 16), {2, 3, 4});
  ASSERT_EQ(own.size(), 2u);
  EXPECT_FALSE(own[1].shared);
  EXPECT_EQ(own[1].end, Day(2001, 12, 12, 18));
}

// A time another program stored that reads as no date: the editor shows its
// text, the department's tables refuse it as the component's reader does.
TEST_P(PlanQueries, APlanTimeThatIsNoDateFailsTheTablesNamingThePlan) {
  if (db_->engine() != store::Engine::kSqlite) GTEST_SKIP() << "a server's time column holds times";
  db_->Execute(
      "INSERT INTO personPlan (planID, personID, planStartTime, planEndTime, planAddrTypeID, "
      "planAddrID, planFlagID) VALUES (900, 2, '2001-12-11 09:00:00', 'soon', 1, 1, 1)");
  const std::optional<StoredPlan> shown = PlanRepository(*db_).FindPlan(testing::kLi, 900);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->end_text, "soon");
  EXPECT_FALSE(shown->end);
  const std::string expected = "plan 900 has no planEndTime date ('soon')";
  for (const auto& read : std::vector<std::function<void()>>{
           [&] { LeaderListPlans(*db_, 1, "1=1", Day(2001, 12, 1), Day(2001, 12, 31)); },
           [&] { SystemPlans(*db_, 1, testing::kLi, Day(2001, 12, 10), Day(2001, 12, 16), {}); }}) {
    try {
      read();
      ADD_FAILURE() << "read a plan without its end";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
}

// The engine's own texts: a bound time read back as its stored text, a row
// lock inside a write, and an update that falls back to an insert.
TEST_P(PlanQueries, EngineTextsRunOnEveryBackend) {
  const store::Engine engine = db_->engine();
  const std::array at{store::SqlParam::Timestamp(Day(2001, 12, 11, 9))};
  const store::RecordSet time = db_->Query(
      "SELECT " + store::TimeText(engine, std::string(store::TimestampParam(engine))), at);
  EXPECT_EQ(store::ReadStoredDateTime(time.Field(std::size_t{0}).ToText()), Day(2001, 12, 11, 9));

  store::Transaction transaction(*db_);
  store::LockRow(*db_, "person", "personID", testing::kLi);
  const std::array name{store::SqlParam::Text("testCounter")};
  const auto bump = [&] {
    return store::UpdateOrInsert(*db_, "UPDATE hostSetting SET value = value + 1 WHERE name = ?",
                                 name, "INSERT INTO hostSetting (name, value) VALUES (?, 1)", name);
  };
  EXPECT_FALSE(bump()) << "inserted";
  EXPECT_TRUE(bump()) << "updated";
  transaction.Commit();
  EXPECT_EQ(ReadSetting(*db_, "testCounter"), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, PlanQueries, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::web

// The web host's plan queries on every backend: deleting into the undo
// store and restoring, copies written all or none, and the department's
// plans of the away page and the leader summary over months.
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "store/connect.h"
#include "test_databases.h"
#include "web/data/department_plans.h"
#include "web/data/plan_repository.h"
#include "test_support.h"

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

INSTANTIATE_TEST_SUITE_P(Backends, PlanQueries, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand::web

// Departments, duties and places as an administrator keeps them
// (web/data/organisation.h) on every backend, and their pages.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "store/connect.h"
#include "store/demo_data.h"
#include "web/data/admins_table.h"
#include "web/data/organisation.h"
#include "web/data/persons.h"
#include "web/site/server_options.h"
#include "test_databases.h"
#include "test_support.h"

namespace ostrand::web {
namespace {

using test_support::TestBackend;
using test_support::TestDatabase;

TEST(OrgNames, ATypedNameIsTrimmedAndBoundedInCharacters) {
  EXPECT_EQ(ReadOrgName("  综合处 \t", kMaxOrgName), "综合处");
  EXPECT_EQ(ReadOrgName(std::string("a\0b", 3), 100), std::nullopt);
  std::string hundred;
  for (int i = 0; i < 100; ++i) hundred += "处";
  EXPECT_EQ(ReadOrgName(hundred, 100), hundred);
  EXPECT_EQ(ReadOrgName(hundred + "处", 100), std::nullopt);
  for (const std::string bad : {"", "   ", "a\tb", "a\nb", "a\x7f", "\xc2\x85x", "\xff"}) {
    EXPECT_EQ(ReadOrgName(bad, 100), std::nullopt) << bad;
  }
}

class Organisation : public ::testing::TestWithParam<TestBackend> {
 protected:
  void SetUp() override {
    database_ = std::make_unique<TestDatabase>(GetParam());
    db_ = store::Connect(database_->connection_string());
    db_->ExecuteScript(R"sql(
      INSERT INTO personDuty VALUES (1, '局长'), (2, '副局长'), (3, '处长'), (4, '科员');
      INSERT INTO person VALUES (1, '张一', 1, 1), (2, '李二', 4, 1), (3, '王三', 4, 1),
        (4, '赵四', 4, 5), (5, '钱五', 4, 5), (6, '孙六', 4, 5), (7, '周七', 3, 5),
        (8, '吴八', 4, 5);
      INSERT INTO planAddrType VALUES (1, '本单位'), (2, '北京'), (3, '京外'), (4, '国外');
      INSERT INTO planAddr VALUES (1, '会议室', 1), (2, '发改委', 2), (3, '上海', 3);
      INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, planAddrID,
                              planFlagID) VALUES
        (1, '2026-05-04 09:00:00', '2026-05-04 10:00:00', 3, 3, 1),
        (2, '2025-01-02 09:00:00', '2025-01-02 10:00:00', 3, 3, 1);
    )sql");
  }

  AuditRecord Audit(std::string_view kind) {
    AuditRecord record;
    record.at = DateTime::FromCivil(2026, 5, 1, 8, 0);
    record.actor = 1;
    record.kind = std::string(kind);
    return record;
  }

  std::int64_t AuditRows() {
    return static_cast<std::int64_t>(
        db_->Query("SELECT COUNT(*) FROM hostAudit").Field(std::size_t{0}).ToNumber());
  }

  template <typename F>
  OrgConflict Refusal(F&& write) {
    try {
      write();
    } catch (const OrgConflict& e) {
      return e;
    }
    ADD_FAILURE() << "not refused";
    return OrgConflict(OrgConflictKind::kNameTaken, {}, 0, {}, {}, {});
  }

  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<store::Connection> db_;
};

TEST_P(Organisation, DepartmentsAreNamedAndKeptWhilePersonsBelongToThem) {
  // Department 5 exists through its persons only, without a name.
  std::vector<Department> departments = Departments(*db_);
  ASSERT_EQ(departments.size(), 2u);
  EXPECT_EQ(departments[1].id, 5);
  EXPECT_EQ(departments[1].name, "");
  EXPECT_EQ(departments[1].persons, 5);

  const std::int64_t added = AddDepartment(*db_, " 办公室 ", Audit(audit::kDepartmentChanged));
  EXPECT_EQ(added, 6);  // above every department persons name
  RenameDepartment(*db_, 5, "综合处", Audit(audit::kDepartmentChanged));
  EXPECT_EQ(DepartmentName(*db_, 5), "综合处");
  EXPECT_EQ(DepartmentName(*db_, 6), "办公室");

  const OrgConflict taken = Refusal(
      [&] { RenameDepartment(*db_, 6, "综合处", Audit(audit::kDepartmentChanged)); });
  EXPECT_EQ(taken.why, OrgConflictKind::kNameTaken);
  const OrgConflict held =
      Refusal([&] { RemoveDepartment(*db_, 5, Audit(audit::kDepartmentChanged)); });
  EXPECT_EQ(held.message_text(), "department 综合处 has 5 persons: 赵四, 钱五, 孙六, 周七, 吴八");
  EXPECT_EQ(held.kind(), ErrorKind::kConflict);

  RemoveDepartment(*db_, 6, Audit(audit::kDepartmentChanged));
  EXPECT_EQ(DepartmentName(*db_, 6), std::nullopt);
  try {
    RemoveDepartment(*db_, 6, Audit(audit::kDepartmentChanged));
    ADD_FAILURE() << "removed twice";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kNotFound);
  }
  try {
    AddDepartment(*db_, "\t", Audit(audit::kDepartmentChanged));
    ADD_FAILURE() << "an empty name taken";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kBadInput);
  }
  // One audit row per change made, none for the refusals.
  EXPECT_EQ(AuditRows(), 3);
}

TEST_P(Organisation, DutiesLeadByDefaultUntilChosenAndSortPersonsInTheirOrder) {
  EXPECT_EQ(LeadingDutiesInDatabase(*db_), (std::set<std::int64_t>{1, 2, 3}));
  SetDutyLeads(*db_, 1, false, Audit(audit::kDutyChanged));
  SetDutyLeads(*db_, 4, true, Audit(audit::kDutyChanged));
  EXPECT_EQ(LeadingDutiesInDatabase(*db_), (std::set<std::int64_t>{2, 3, 4}));

  // 科员 to the top: persons of department 5 list its holders first.
  MoveDuty(*db_, 4, 1, Audit(audit::kDutyChanged));
  std::vector<std::int64_t> order;
  for (const Duty& duty : Duties(*db_)) order.push_back(duty.id);
  EXPECT_EQ(order, (std::vector<std::int64_t>{4, 1, 2, 3}));
  std::vector<std::int64_t> persons;
  const auto listed = PersonsOfSystem(*db_, 5);
  for (const Person& person : *listed) persons.push_back(person.id);
  EXPECT_EQ(persons, (std::vector<std::int64_t>{4, 5, 6, 8, 7}));
  MoveDuty(*db_, 4, 99, Audit(audit::kDutyChanged));  // beyond the end: the end
  EXPECT_EQ(Duties(*db_).back().id, 4);
  EXPECT_TRUE(Duties(*db_).back().leads);  // moving keeps the choice

  const std::int64_t added = AddDuty(*db_, "调研员", false, Audit(audit::kDutyChanged));
  EXPECT_EQ(added, 5);
  EXPECT_EQ(Duties(*db_).back().id, 5);
  RenameDuty(*db_, 5, "一级调研员", Audit(audit::kDutyChanged));
  RemoveDuty(*db_, 5, Audit(audit::kDutyChanged));
  EXPECT_EQ(Duties(*db_).size(), 4u);

  const OrgConflict held = Refusal([&] { RemoveDuty(*db_, 4, Audit(audit::kDutyChanged)); });
  EXPECT_EQ(held.count, 6);
  EXPECT_EQ(held.message_text(), "duty 科员 is held by 6 persons: 李二, 王三, 赵四, 钱五, 孙六, ...");
}

TEST_P(Organisation, PlacesInUseAreKeptAndNamesAreTakenWithinTheirKind) {
  const OrgConflict used = Refusal([&] { RemovePlace(*db_, 3, Audit(audit::kPlaceChanged)); });
  EXPECT_EQ(used.message_text(), "place 上海 is used by 2 plans, the latest on 2026-05-04");
  // A plan deleted lately may come back; one deleted long ago may not.
  db_->ExecuteScript(
      "INSERT INTO hostDeletedPlan (deletedID, deletedAt, planID, personID, planAddrID) VALUES "
      "(1, '2026-04-25 10:00:00', 9, 1, 1), (2, '2026-01-01 10:00:00', 10, 1, 2)");
  EXPECT_EQ(Refusal([&] { RemovePlace(*db_, 1, Audit(audit::kPlaceChanged)); }).why,
            OrgConflictKind::kUsedByDeletedPlans);
  RemovePlace(*db_, 2, Audit(audit::kPlaceChanged));

  EXPECT_EQ(Refusal([&] { AddPlace(*db_, "会议室", 1, Audit(audit::kPlaceChanged)); }).why,
            OrgConflictKind::kNameTaken);
  const std::int64_t other = AddPlace(*db_, "会议室", 2, Audit(audit::kPlaceChanged));
  EXPECT_EQ(other, 4);
  RenamePlace(*db_, 4, "部委会议室", Audit(audit::kPlaceChanged));
  SetPlaceKind(*db_, 4, 1, Audit(audit::kPlaceChanged));
  RenamePlaceKind(*db_, 2, "在京", Audit(audit::kPlaceChanged));
  const std::vector<Place> places = PlacesOf(*db_);
  ASSERT_EQ(places.size(), 3u);
  EXPECT_EQ(places[1].name, "部委会议室");
  EXPECT_EQ(places[1].kind_id, 1);
  EXPECT_EQ(PlaceKindsOf(*db_)[1].name, "在京");
}

TEST_P(Organisation, TheDemoLeadsAsBeforeAndTheOperatorsListOverridesTheDatabase) {
  const store::DemoData demo = store::GenerateDemoData(1, DateTime::FromCivil(2026, 5, 1));
  db_->ExecuteScript("DELETE FROM personDuty");
  for (int twice = 0; twice < 2; ++twice) WriteDemoOrganisation(*db_, demo);
  EXPECT_EQ(DepartmentName(*db_, 2), "第一处");
  EXPECT_EQ(LeadingDutiesInDatabase(*db_), (std::set<std::int64_t>{1, 2, 3}));

  ServerOptions options;
  EXPECT_EQ(LeadingDutiesNow(options, *db_), (std::set<std::int64_t>{1, 2, 3}));
  options.leader_duties = std::set<std::int64_t>{4};
  EXPECT_EQ(LeadingDutiesNow(options, *db_), (std::set<std::int64_t>{4}));
}

INSTANTIATE_TEST_SUITE_P(Backends, Organisation,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

// ---- the pages --------------------------------------------------------------

class OrganisationPages : public ::testing::Test {
 protected:
  OrganisationPages() {
    testing::WriteFixture(path_);
    GrantAdministrator(*store::Connect("sqlite:" + path_), testing::kZhang, std::nullopt,
                       DateTime::FromCivil(2001, 12, 1));
    ServerOptions options = testing::TestOptions(path_);
    options.leader_duties.reset();  // the database's
    server_ = std::make_unique<testing::RunningServer>(std::move(options));
    admin_ = testing::SignedIn(server_->port(), testing::kZhang);
  }

  std::string Page(testing::Browser& browser, const std::string& path, int status = 200) {
    const testing::Result result = browser.Get(path);
    if (!result) return "no answer for " + path;
    EXPECT_EQ(result->status, status) << path;
    return result->body;
  }

  // Posts an administration form as the administrator.
  testing::Result Post(const std::string& path, testing::Params form) {
    form.emplace("csrf", testing::Browser::FieldValue(Page(*admin_, path), "csrf"));
    return admin_->Post(path, form);
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<testing::RunningServer> server_;
  std::unique_ptr<testing::Browser> admin_;
};

TEST_F(OrganisationPages, ChangesShowOnTheSchedulePagesAtTheNextRequest) {
  const std::unique_ptr<testing::Browser> li = testing::SignedIn(server_->port(), testing::kLi);
  Page(*li, "/schedule/leaderMonth.asp?dt=2001-12-05", 403);

  testing::Result done = Post("/admin/duties", {{"action", "leads"}, {"id", "4"}, {"leads", "1"}});
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 303);
  EXPECT_EQ(done->get_header_value("Location"), "/admin/duties?done=saved");
  done = Post("/admin/duties", {{"action", "rename"}, {"id", "4"}, {"name", "办事员"}});
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 303);
  done = Post("/admin/departments", {{"action", "rename"}, {"id", "1"}, {"name", "综合处"}});
  ASSERT_TRUE(done);
  EXPECT_EQ(done->status, 303);

  // Li leads now; the component shows the duty's new name, the host the
  // department's beside the heading.
  const std::string leader = Page(*li, "/schedule/leaderMonth.asp?dt=2001-12-05");
  EXPECT_TRUE(test_support::Contains(leader, "<span class=\"department\"> · 综合处</span>"));
  EXPECT_TRUE(test_support::Contains(Page(*li, "/schedule/personMonth.asp?dt=2001-12-05"),
                                     "办事员"));
  EXPECT_TRUE(test_support::Contains(Page(*admin_, "/admin/duties?done=saved"),
                                     "role=\"status\""));
}

TEST_F(OrganisationPages, ARemovalStillInUseIsRefusedWithWhereItIsUsed) {
  const testing::Result refused = Post("/admin/duties", {{"action", "remove"}, {"id", "4"}});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 409);
  EXPECT_TRUE(test_support::Contains(refused->body, "李科员、王外单位、赵&lt;&amp;&gt;六"))
      << refused->body;
  const testing::Result bad = Post("/admin/places", {{"action", "add"}, {"kind", "1"}, {"name", " "}});
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  const testing::Result added =
      Post("/admin/places", {{"action", "add"}, {"kind", "2"}, {"name", "国家图书馆"}});
  ASSERT_TRUE(added);
  EXPECT_EQ(added->status, 303);
  EXPECT_TRUE(test_support::Contains(Page(*admin_, "/admin/places"), "国家图书馆"));
}

}  // namespace
}  // namespace ostrand::web

// Identities of providers and directories on every backend: the claim
// links the first sign-in, the stored link wins after a rename, persons
// made at the first sign-in, and the cases that must wait for an
// administrator; then the administration's page that links them.
#include <gtest/gtest.h>

#include "core/error.h"
#include "store/connect.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/data/admins_table.h"
#include "web/data/identities.h"
#include "web/data/person_registry.h"

namespace ostrand::web {
namespace {

using test_support::TestBackend;
using test_support::TestDatabase;
using Status = IdentityMatch::Status;

class Identities : public ::testing::TestWithParam<TestBackend> {
 protected:
  Identities() : database_(GetParam()), db_(store::Connect(database_.connection_string())) {
    testing::WriteFixtureTo(database_.connection_string());
  }
  IdentityMatch Match(const std::string& subject, const std::string& claim,
                      const std::optional<AutoCreate>& create = std::nullopt,
                      const std::string& name = "") {
    return MatchIdentity(*db_, {"https://id.example", subject, claim, name}, create, "192.0.2.1");
  }
  TestDatabase database_;
  std::unique_ptr<store::Connection> db_;
};

TEST_P(Identities, TheClaimLinksOnceAndTheLinkOutlivesARename) {
  IdentityMatch first = Match("sub-li", "李科员");
  ASSERT_EQ(first.status, Status::kPerson);
  EXPECT_EQ(first.person->id, testing::kLi);
  // Renamed at the provider: the stored link still names person 2.
  EXPECT_EQ(Match("sub-li", "renamed").person->id, testing::kLi);
  // A newcomer given the old name is someone else: person 2 has an
  // identity at this issuer already, so the newcomer waits.
  EXPECT_EQ(Match("sub-newcomer", "李科员").status, Status::kUnlinked);
  // A person id as the claim, and a name nobody has.
  EXPECT_EQ(Match("sub-wang", "3").person->id, testing::kWang);
  EXPECT_EQ(Match("sub-nobody", "无此人").status, Status::kUnlinked);
  // An administrator is never matched by the claim alone.
  GrantAdministrator(*db_, testing::kZhao, std::nullopt, DateTime::FromCivil(2001, 12, 1));
  EXPECT_EQ(Match("sub-zhao", "4").status, Status::kUnlinked);
  // Retired persons are refused.
  RetirePerson(*db_, testing::kWang, std::nullopt, DateTime::FromCivil(2001, 12, 2));
  EXPECT_EQ(Match("sub-wang", "3").status, Status::kRetired);

  // The administrator links the waiting newcomer; the list shows the
  // waiting ones first.
  const std::vector<IdentityRow> rows = ListIdentities(*db_, std::nullopt, 0, 100);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_FALSE(rows.front().person_id.has_value());
  LinkIdentity(*db_, IdentityKey("https://id.example", "sub-newcomer"), testing::kZhang);
  EXPECT_EQ(Match("sub-newcomer", "李科员").person->id, testing::kZhang);
  EXPECT_THROW(LinkIdentity(*db_, "no-such-key", testing::kZhang), Error);
}

TEST_P(Identities, AutoCreateMakesOnePersonInTheDepartment) {
  const AutoCreate create{2, std::nullopt};
  const IdentityMatch made = Match("sub-new", "newbie", create, " 新 员工 ");
  ASSERT_EQ(made.status, Status::kPerson);
  EXPECT_TRUE(made.created);
  EXPECT_EQ(made.person->name, "新 员工");
  EXPECT_EQ(made.person->system_id, 2);
  EXPECT_EQ(made.person->duty_id, 4);  // the last duty of the order
  EXPECT_GT(made.person->id, testing::kZhao);
  // The second sign-in finds the person made at the first.
  const IdentityMatch again = Match("sub-new", "newbie", create, "新 员工");
  EXPECT_FALSE(again.created);
  EXPECT_EQ(again.person->id, made.person->id);
  // A name that is no good name falls back to the claim.
  EXPECT_EQ(Match("sub-ctl", "plain", create, "bad\nname").person->name, "plain");
  // A department that does not exist is the operator's mistake, named.
  EXPECT_THROW(Match("sub-x", "x", AutoCreate{99, std::nullopt}), Error);
}

TEST_P(Identities, FieldsFromOutsideAreChecked) {
  EXPECT_THROW(Match("", "x"), Error);
  EXPECT_THROW(Match(std::string(300, 's'), "x"), Error);
  EXPECT_THROW(MatchIdentity(*db_, {"https://id.example\n", "s", "", ""}, std::nullopt, ""), Error);
  // A claim that is no good text counts as none.
  EXPECT_EQ(Match("s", "\xff\xfe").status, Status::kUnlinked);
}

INSTANTIATE_TEST_SUITE_P(Backends, Identities, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

class IdentitiesPage : public ::testing::Test {
 protected:
  IdentitiesPage() {
    testing::WriteFixture(path_);
    const auto db = store::Connect("sqlite:" + path_);
    GrantAdministrator(*db, testing::kLi, std::nullopt, DateTime::FromCivil(2001, 12, 1));
    MatchIdentity(*db, {"ldap://dir/o=x", "uid=wu,o=x", "吴<新>", ""}, std::nullopt, "");
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
  }
  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::unique_ptr<testing::RunningServer> server_;
};

TEST_F(IdentitiesPage, AnAdministratorLinksAWaitingSignIn) {
  const auto admin = testing::SignedIn(server_->port(), testing::kLi);
  const std::string page = admin->Get("/admin/identities")->body;
  EXPECT_NE(page.find("吴&lt;新&gt;"), std::string::npos);
  const std::string csrf = testing::Browser::FieldValue(page, "csrf");
  const std::string key = IdentityKey("ldap://dir/o=x", "uid=wu,o=x");
  EXPECT_EQ(admin->Post("/admin/identities", {{"csrf", csrf}, {"identity", key},
                                             {"action", "link"}, {"person", "99"}})->status,
            404);
  EXPECT_EQ(admin->Post("/admin/identities", {{"csrf", csrf}, {"identity", key},
                                             {"action", "link"}, {"person", "3"}})->status,
            303);
  const auto db = store::Connect("sqlite:" + path_);
  EXPECT_EQ(FindIdentity(*db, key)->person_id, testing::kWang);
  EXPECT_EQ(db->Query("SELECT COUNT(*) FROM hostAudit WHERE kind = 'identity-linked' "
                      "AND subjectID = 3")
                .Field(std::size_t{0})
                .ToNumber(),
            1);
}

}  // namespace
}  // namespace ostrand::web

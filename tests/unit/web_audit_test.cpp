// The audit log: its listing (filters, pages, newest first) and pruning on
// every backend, what the sign-in, sign-out and subscribe page record, the
// page /admin/audit with its CSV, and `ostrand audit`.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "store/connect.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/data/admins_table.h"
#include "web/data/audit_log.h"
#include "web/data/plan_changes.h"

namespace ostrand::web {
namespace {

using test_support::TestBackend;
using testing::Browser;
using testing::kLi;
using testing::kZhang;

DateTime Day(int day, int hour = 12) { return DateTime::FromCivil(2026, 3, day, hour); }

std::vector<std::int64_t> Ids(const std::vector<StoredAudit>& records) {
  std::vector<std::int64_t> ids;
  for (const StoredAudit& r : records) ids.push_back(*r.record.subject);
  return ids;
}

class AuditLog : public ::testing::TestWithParam<TestBackend> {};

// Records on 1..10 March, each with its day as its subject; actor 1 on the
// even days, 2 on the odd ones; the kind alternates likewise.
TEST_P(AuditLog, ListsFilteredPagesNewestFirstAndPrunesOldRecords) {
  const test_support::TestDatabase database(GetParam());
  const std::unique_ptr<store::Connection> db = store::Connect(database.connection_string());
  for (int day = 1; day <= 10; ++day) {
    const bool even = day % 2 == 0;
    RecordAudit(*db, {Day(day), even ? 1 : 2, std::string(even ? audit::kSignIn : audit::kSignOut),
                      day, "d" + std::to_string(day), "192.0.2.1"});
  }
  RecordAudit(*db, {Day(10, 18), std::nullopt, std::string(audit::kSignInFailed), std::nullopt,
                    "", ""});

  const std::vector<StoredAudit> all = ListAudit(*db, {}, 0, 100);
  ASSERT_EQ(all.size(), 11u);
  EXPECT_EQ(all[0].record.kind, audit::kSignInFailed);
  EXPECT_FALSE(all[0].record.actor);
  EXPECT_EQ(all[1].record.at, Day(10));
  EXPECT_EQ(all[1].record.detail, "d10");
  EXPECT_EQ(all[1].record.address, "192.0.2.1");
  EXPECT_EQ(all[1].actor_name, "");  // no person table rows in this database

  // Pages: newest first, no record twice, none left out.
  EXPECT_EQ(Ids(ListAudit(*db, {}, 1, 3)), (std::vector<std::int64_t>{10, 9, 8}));
  EXPECT_EQ(Ids(ListAudit(*db, {}, 9, 3)), (std::vector<std::int64_t>{2, 1}));

  // Person 3 as subject; persons 1 and 3 as actor or subject.
  AuditFilter person{{3}, "", std::nullopt, std::nullopt};
  EXPECT_EQ(Ids(ListAudit(*db, person, 0, 100)), (std::vector<std::int64_t>{3}));
  person.persons = {1, 3};
  EXPECT_EQ(CountAudit(*db, person), 7);  // actor 1 on five days, subjects 1 and 3
  const AuditFilter kind{{}, std::string(audit::kSignOut), std::nullopt, std::nullopt};
  EXPECT_EQ(CountAudit(*db, kind), 5);
  // Both days included, whatever the hour.
  const AuditFilter days{{}, "", Day(3, 0), Day(5, 0)};
  EXPECT_EQ(Ids(ListAudit(*db, days, 0, 100)), (std::vector<std::int64_t>{5, 4, 3}));
  const AuditFilter everything{{2}, std::string(audit::kSignOut), Day(4), Day(9)};
  EXPECT_EQ(Ids(ListAudit(*db, everything, 0, 100)), (std::vector<std::int64_t>{9, 7, 5}));

  EXPECT_EQ(PruneAudit(*db, Day(10), 0), 0);
  EXPECT_EQ(PruneAudit(*db, Day(10), 7), 2);  // 1 and 2 March at noon are older than 3 March noon
  EXPECT_EQ(CountAudit(*db, {}), 9);
  EXPECT_EQ(Ids(ListAudit(*db, {}, 8, 5)), (std::vector<std::int64_t>{3}));
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, AuditLog, ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

TEST(AuditLogText, ShortDetailCleansAndCutsOnACharacterBoundary) {
  EXPECT_EQ(ShortDetail("李\x1b[2J科员\t\n", 64), "李[2J科员  ");
  EXPECT_EQ(ShortDetail("李科员", 7), "李科");  // 3 bytes each
  EXPECT_EQ(ShortDetail(std::string(100, 'a'), 64).size(), 64u);
}

// What the sign-in, sign-out and subscribe page record, with the client's
// address: a failed sign-in with the name as typed, cut, and never the
// password; a throttled client once a minute however often it knocks. An
// administrator reads them on /admin/audit and as CSV, the operator with
// `ostrand audit`; a record older than --audit-days is gone at start.
TEST(AuditRecording, SignInsFailuresSignOutsAndTokenChangesOnThePageAndTheCommandLine) {
  const testing::TempDir dir;
  const std::string path = dir.File("plans.db");
  testing::WriteFixture(path);
  {
    const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
    RecordAudit(*db, {DateTime::FromCivil(2001, 1, 1), kLi, std::string(audit::kSignIn), kLi,
                      "ancient", ""});
    ASSERT_TRUE(GrantAdministrator(*db, kZhang, std::nullopt, UtcNow()));
  }
  const testing::RunningServer server(testing::TestOptions(path));
  const std::string password = "Geheimnis-7391";
  const std::string typed = std::string(70, 'x') + "李";
  Browser guesser(server.port(), "127.0.0.2");
  EXPECT_EQ(guesser.SignIn(typed, password)->status, 403);
  int refused = 0;
  int throttled = 0;
  for (int i = 0; i < 8; ++i) {
    const int status = guesser.SignIn(std::to_string(kLi), password)->status;
    refused += status == 403 ? 1 : 0;
    throttled += status == 429 ? 1 : 0;
  }
  ASSERT_GE(throttled, 2);
  const auto li = testing::SignedIn(server.port(), kLi);
  const testing::Result subscribe = li->Get("/subscribe");
  ASSERT_TRUE(subscribe);
  const std::string csrf = Browser::FieldValue(subscribe->body, "csrf");
  EXPECT_EQ(li->Post("/subscribe", {{"csrf", csrf}, {"action", "reset-feed"}})->status, 303);
  EXPECT_EQ(li->Post("/subscribe", {{"csrf", csrf}, {"action", "new-api-token"}})->status, 303);
  EXPECT_EQ(li->Post("/logout", {{"csrf", csrf}})->status, 303);

  const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path);
  const auto count = [&db](std::string_view kind) {
    return CountAudit(*db, {{}, std::string(kind), std::nullopt, std::nullopt});
  };
  EXPECT_EQ(count(audit::kSignInFailed), refused + 1);
  EXPECT_EQ(count(audit::kSignInThrottled), 1);
  EXPECT_EQ(count(audit::kSignIn), 1) << "the record older than 400 days is pruned at start";
  EXPECT_EQ(count(audit::kSignOut), 1);
  EXPECT_EQ(count(audit::kTokenChanged), 2);
  for (const StoredAudit& stored : ListAudit(*db, {}, 0, 100)) {
    const AuditRecord& r = stored.record;
    EXPECT_EQ(r.detail.find("Geheimnis"), std::string::npos) << r.kind;
    EXPECT_LE(r.detail.size(), 64u);
    if (r.kind == audit::kSignInFailed && !r.subject) {
      EXPECT_EQ(r.detail, std::string(64, 'x'));
    } else if (r.kind == audit::kSignInFailed) {
      EXPECT_EQ(*r.subject, kLi);
      EXPECT_FALSE(r.actor);
    }
    EXPECT_EQ(r.address, r.kind.starts_with("sign-in-") ? "127.0.0.2" : "127.0.0.1") << r.kind;
  }

  const auto zhang = testing::SignedIn(server.port(), kZhang);
  const testing::Result page = zhang->Get("/admin/audit?kind=sign-in-failed&person=2");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_TRUE(test_support::Contains(page->body, "127.0.0.2"));
  EXPECT_FALSE(test_support::Contains(page->body, "reset-feed"));
  const testing::Result csv = zhang->Get("/admin/audit?kind=sign-in-failed&download=csv");
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->get_header_value("Content-Type"), "text/csv; charset=utf-8");
  EXPECT_TRUE(csv->body.starts_with("\xEF\xBB\xBF"));
  EXPECT_EQ(std::count(csv->body.begin(), csv->body.end(), '\n'), refused + 2);
  EXPECT_FALSE(test_support::Contains(csv->body, "Geheimnis"));
  EXPECT_EQ(zhang->Get("/admin/audit?kind=nonsense")->status, 400);

  const test_support::Outcome printed = test_support::RunOstrand(
      dir, {"audit", "--db", "sqlite:" + path, "--person", "2", "--kind", "token-changed"});
  EXPECT_EQ(printed.exit_code, 0) << printed.err;
  EXPECT_EQ(std::count(printed.out.begin(), printed.out.end(), '\n'), 2) << printed.out;
}

}  // namespace
}  // namespace ostrand::web

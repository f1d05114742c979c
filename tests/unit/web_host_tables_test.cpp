// The host's administration tables on every backend: `init-db` makes them
// in a new database, `init-db --add-missing` and the start of `ostrand
// serve` in a database made before they existed; and two servers on one
// PostgreSQL database see an administrator's change at once.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "store/connect.h"
#include "store/schema.h"
#include "test_databases.h"
#include "test_support.h"
#include "web/data/admins_table.h"
#include "web/data/plan_changes.h"

namespace ostrand {
namespace {

using test_support::Outcome;
using test_support::RunOstrand;
using test_support::ServerOnDatabase;
using test_support::TestBackend;

constexpr std::array<std::string_view, 6> kAdministrationTables = {
    "hostAdmin", "hostRetiredPerson", "hostDepartment", "hostDuty", "hostSession", "hostAudit"};

// The administration tables the database lacks, joined by blanks.
std::string MissingOnes(const std::string& connection_string) {
  const std::unique_ptr<store::Connection> db = store::Connect(connection_string);
  std::string missing;
  for (const std::string_view table : kAdministrationTables) {
    if (!store::HasTable(*db, table)) missing += " " + std::string(table);
  }
  return missing;
}

// Makes the database look as one made before the administration tables.
void DropAdministrationTables(const std::string& connection_string) {
  const std::unique_ptr<store::Connection> db = store::Connect(connection_string);
  for (const std::string_view table : kAdministrationTables) {
    db->ExecuteScript("DROP TABLE " + std::string(table));
  }
}

// A schema of its own on the test server holding no table, dropped with the
// object.
class EmptySchema {
 public:
  EmptySchema() {
    store::Connect(test_support::ThrowawayPostgres().conninfo)
        ->ExecuteScript("CREATE SCHEMA " + name_);
  }
  ~EmptySchema() {
    try {
      store::Connect(test_support::ThrowawayPostgres().conninfo)
          ->ExecuteScript("DROP SCHEMA " + name_ + " CASCADE");
    } catch (const std::exception& e) {
      ADD_FAILURE() << "cannot drop schema " << name_ << ": " << e.what();
    }
  }
  EmptySchema(const EmptySchema&) = delete;
  EmptySchema& operator=(const EmptySchema&) = delete;
  const std::string& name() const { return name_; }

 private:
  std::string name_ = "empty_" + std::to_string(::getpid());
};

class AdministrationTables : public ::testing::TestWithParam<TestBackend> {};

TEST_P(AdministrationTables, InitDbAddMissingAndServeStartMakeThem) {
  const test_support::TempDir dir;
  {
    // A new database.
    std::string fresh;
    std::unique_ptr<EmptySchema> schema;
    switch (GetParam()) {
      case TestBackend::kSqlite:
        fresh = "sqlite:" + dir.File("fresh.db");
        break;
      case TestBackend::kOdbcSqlite:
        test_support::ThrowawayPostgres();  // the ODBC drivers
        fresh = "odbc:Driver=SQLite3;Database=" + dir.File("fresh.db");
        break;
      default:
        schema = std::make_unique<EmptySchema>();
        fresh = test_support::PostgresConnection(GetParam(), schema->name());
    }
    const Outcome made = RunOstrand(dir, {"init-db", fresh});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    EXPECT_EQ(MissingOnes(fresh), "");
  }

  // A database of the time before them.
  const test_support::TestDatabase database(GetParam());
  const std::string& db = database.connection_string();
  DropAdministrationTables(db);
  ASSERT_NE(MissingOnes(db), "");
  const Outcome added = RunOstrand(dir, {"init-db", db, "--add-missing"});
  ASSERT_EQ(added.exit_code, 0) << added.err;
  EXPECT_EQ(MissingOnes(db), "") << "after init-db --add-missing";

  DropAdministrationTables(db);
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "0123456789abcdef0123456789abcdef\n";
  {
    const ServerOnDatabase server({"--db", db, "--secret-file", secret});
    ASSERT_NE(server.port(), 0) << server.log();
  }
  EXPECT_EQ(MissingOnes(db), "") << "after the start of ostrand serve";
}

// Two servers on one PostgreSQL database: an administrator granted while
// both run is one at once on either server, and no longer one once revoked;
// a duty an administrator makes leading on one server leads on the other at
// its next request.
TEST(WebPostgres, TwoServersSeeAnAdministratorsChangeAtOnce) {
  const test_support::TestDatabase database(TestBackend::kPostgresql);
  const std::string& db = database.connection_string();
  web::testing::WriteFixtureTo(db);
  const test_support::TempDir dir;
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "0123456789abcdef0123456789abcdef\n";
  const ServerOnDatabase first({"--db", db, "--secret-file", secret});
  const ServerOnDatabase second({"--db", db, "--secret-file", secret});
  ASSERT_NE(first.port(), 0) << first.log();
  ASSERT_NE(second.port(), 0) << second.log();
  const auto on_first = web::testing::SignedIn(first.port(), web::testing::kLi);
  web::testing::Browser on_second(second.port());
  on_second.cookies() = on_first->cookies();
  const auto status = [](web::testing::Browser& browser) {
    const web::testing::Result page = browser.Get("/admin/");
    return page ? page->status : -1;
  };
  EXPECT_EQ(status(*on_first), 403);
  EXPECT_EQ(status(on_second), 403);

  const std::unique_ptr<store::Connection> admin = store::Connect(db);
  ASSERT_TRUE(web::GrantAdministrator(*admin, web::testing::kLi, std::nullopt, web::UtcNow()));
  EXPECT_EQ(status(on_second), 200);
  EXPECT_EQ(status(*on_first), 200);
  ASSERT_TRUE(web::RevokeAdministrator(*admin, web::testing::kLi));
  EXPECT_EQ(status(*on_first), 403);
  EXPECT_EQ(status(on_second), 403);

  // Li's duty 4 leads once Zhang says so on the first server.
  const std::string leader_page = "/schedule/leaderMonth.asp?dt=2001-12-5";
  EXPECT_EQ(on_second.Get(leader_page)->status, 403);
  ASSERT_TRUE(web::GrantAdministrator(*admin, web::testing::kZhang, std::nullopt, web::UtcNow()));
  const auto zhang = web::testing::SignedIn(first.port(), web::testing::kZhang);
  const web::testing::Result duties = zhang->Get("/admin/duties");
  ASSERT_TRUE(duties);
  const std::string csrf = web::testing::Browser::FieldValue(duties->body, "csrf");
  EXPECT_EQ(zhang->Post("/admin/duties", {{"csrf", csrf}, {"action", "leads"}, {"id", "4"},
                                          {"leads", "1"}})->status,
            303);
  EXPECT_EQ(on_second.Get(leader_page)->status, 200);
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, AdministrationTables,
                         ::testing::ValuesIn(test_support::kAllBackends),
                         test_support::BackendName);

}  // namespace
}  // namespace ostrand

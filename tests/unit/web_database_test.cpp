// The web host and its database as an operator meets them: a database that
// turned read-only for a while, several servers on one PostgreSQL database,
// a PostgreSQL server that stops and starts under a running host.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "test_support.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/data/persons.h"
#include "test_databases.h"

namespace ostrand::web {
namespace {

using test_support::ServerOnDatabase;
using testing::Browser;
using testing::kLi;

// The user the servers of these tests run as when the tests run as root,
// for whom file permissions mean something.
constexpr const char* kUnprivileged = "nobody";

void GiveToUnprivileged(const std::string& path) {
  if (::geteuid() != 0) return;
  const passwd* user = ::getpwnam(kUnprivileged);
  ASSERT_NE(user, nullptr);
  ASSERT_EQ(::chown(path.c_str(), user->pw_uid, user->pw_gid), 0) << path;
}

std::string WriteSecret(const test_support::TempDir& dir) {
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "0123456789abcdef0123456789abcdef\n";
  return secret;
}

// Saves a new plan of Li's on 20 December 2001 through the day editor;
// returns the status of the POST.
int SavePlan(Browser& browser, const std::string& content) {
  const std::string editor = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const testing::Result form = browser.Get(editor);
  if (!form || form->status != 200) return form ? form->status : -1;
  const testing::Result saved =
      browser.Post(editor, {{"csrf", Browser::FieldValue(form->body, "csrf")},
                            {"action", "save"},
                            {"planID", ""},
                            {"start", "2001-12-20T09:00"},
                            {"end", "2001-12-20T11:30"},
                            {"kind", "2"},
                            {"place", "2"},
                            {"detail", ""},
                            {"content", content},
                            {"addition", ""},
                            {"flag", "1"}});
  return saved ? saved->status : -1;
}

int PlansWithContent(const std::string& connection_string, const std::string& content) {
  const store::SqlParam param = store::SqlParam::Text(content);
  return static_cast<int>(store::Connect(connection_string)
                              ->Query("SELECT COUNT(*) FROM personPlan WHERE planContent = ?",
                                      std::span(&param, 1))
                              .Field(std::size_t{0})
                              .ToNumber());
}

// chmod 444 on the database while no connection had it open: SQLite then
// makes its -shm read-only and the server's connections can only read.
// Once the file is writable again, the next write succeeds without a
// restart.
// The person picker's order: duties first (by duty), persons without a duty
// last, ties by id; persons of other systems left out.
TEST(WebPersons, OfSystemInDutyThenIdOrder) {
  const std::unique_ptr<store::Connection> db = store::Connect("sqlite::memory:", store::OpenMode::kCreate);
  store::CreateSchema(*db);
  db->ExecuteScript(
      "INSERT INTO person VALUES (5, 'a', NULL, 1), (3, 'b', 4, 1), (1, 'c', 4, 1), "
      "(2, 'd', 1, 1), (9, 'x', 1, 2), (4, 'e', NULL, 1)");
  std::vector<std::int64_t> ids;
  const auto listed = PersonsOfSystem(*db, 1);
  for (const Person& person : *listed) ids.push_back(person.id);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{2, 1, 3, 4, 5}));
}

TEST(WebReadOnlySpell, TheNextWriteSucceedsOnceTheDatabaseIsWritableAgain) {
  const test_support::TempDir dir;
  GiveToUnprivileged(dir.path().string());
  const std::string db = dir.File("plans.db");
  testing::WriteFixture(db);
  store::Connect("sqlite:" + db)->ExecuteScript("PRAGMA journal_mode=WAL");
  GiveToUnprivileged(db);
  const std::string secret = WriteSecret(dir);
  GiveToUnprivileged(secret);
  ASSERT_EQ(::chmod(db.c_str(), 0444), 0);

  const ServerOnDatabase server({"--db", "sqlite:" + db, "--secret-file", secret, "--pool-size", "2"},
                            kUnprivileged);
  ASSERT_NE(server.port(), 0);
  const auto li = testing::SignedIn(server.port(), kLi);
  EXPECT_EQ(SavePlan(*li, "只读期间"), 503);
  struct stat shm {};
  if (::stat((db + "-shm").c_str(), &shm) == 0) {
    EXPECT_EQ(shm.st_mode & 0222, 0u) << "the spell left the -shm file read-only";
  }

  ASSERT_EQ(::chmod(db.c_str(), 0644), 0);
  EXPECT_EQ(SavePlan(*li, "恢复之后"), 303) << server.log();
  EXPECT_EQ(PlansWithContent("sqlite:" + db, "恢复之后"), 1);
  EXPECT_EQ(PlansWithContent("sqlite:" + db, "只读期间"), 0);
}

// Two servers on one PostgreSQL database with one secret file: a plan saved
// through one shows on the other at once, and a session cookie of one is
// accepted by the other.
TEST(WebPostgres, TwoServersShareOneDatabaseAndOneSecret) {
  const test_support::TestDatabase database(test_support::TestBackend::kPostgresql);
  testing::WriteFixtureTo(database.connection_string());
  const test_support::TempDir dir;
  const std::string secret = WriteSecret(dir);
  const ServerOnDatabase first({"--db", database.connection_string(), "--secret-file", secret});
  const ServerOnDatabase second({"--db", database.connection_string(), "--secret-file", secret});
  ASSERT_NE(first.port(), 0);
  ASSERT_NE(second.port(), 0);

  const auto li = testing::SignedIn(first.port(), kLi);
  Browser elsewhere(second.port());
  elsewhere.cookies() = li->cookies();
  const std::string day = "/schedule/manage.asp?personID=2&dt=2001-12-20";
  const testing::Result before = elsewhere.Get(day);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->status, 200) << "the second server refused the first one's session";

  EXPECT_EQ(SavePlan(*li, "两台服务器"), 303);
  const testing::Result after = elsewhere.Get(day);
  ASSERT_TRUE(after);
  EXPECT_NE(after->body.find("两台服务器"), std::string::npos);
  EXPECT_EQ(PlansWithContent(database.connection_string(), "两台服务器"), 1);
}

// A PostgreSQL server that stops under a running host: pages answer 503
// quickly, writes are not half done, and once the server is back the next
// request succeeds without restarting the host.
TEST(WebPostgres, PagesAnswer503WhileTheDatabaseIsDownAndRecover) {
  const test_support::TempDir dir;
  const std::string state = dir.File("postgres");
  const std::string script = std::string(OSTRAND_SOURCE_DIR) + "/scripts/test-postgres ";
  ASSERT_EQ(std::system((script + "start " + state).c_str()), 0);
  struct Stop {
    std::string command;
    ~Stop() { static_cast<void>(std::system(command.c_str())); }
  } stop{script + "stop " + state};
  const std::string database = std::string(TrimWhitespace(test_support::ReadFile(state + "/conninfo")));
  store::CreateSchema(*store::Connect(database));
  testing::WriteFixtureTo(database);
  const ServerOnDatabase server({"--db", database, "--secret-file", WriteSecret(dir)});
  ASSERT_NE(server.port(), 0);
  const auto li = testing::SignedIn(server.port(), kLi);
  const std::string page = "/schedule/personMonth.asp?dt=2001-12-5";
  ASSERT_EQ(li->Get(page)->status, 200);

  ASSERT_EQ(std::system((script + "halt " + state).c_str()), 0);
  for (int i = 0; i < 3; ++i) {
    const auto started = std::chrono::steady_clock::now();
    const testing::Result down = li->Get(page);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->status, 503);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
  EXPECT_EQ(SavePlan(*li, "停机期间"), 503);

  ASSERT_EQ(std::system((script + "resume " + state).c_str()), 0);
  EXPECT_EQ(li->Get(page)->status, 200) << server.log();
  EXPECT_EQ(SavePlan(*li, "恢复之后"), 303);
  EXPECT_EQ(PlansWithContent(database, "恢复之后"), 1);
  EXPECT_EQ(PlansWithContent(database, "停机期间"), 0);
}

}  // namespace
}  // namespace ostrand::web

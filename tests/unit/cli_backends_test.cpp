// The command line on every backend: the same demo data written to SQLite
// and PostgreSQL gives the same bytes from every member that reads the
// database, directly and behind ODBC; init-db creates the tables once.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "test_databases.h"
#include "test_support.h"

namespace ostrand {
namespace {

using test_support::Outcome;
using test_support::RunOstrand;
using test_support::TestBackend;

TEST(CliBackends, EveryMemberPrintsTheSameBytesOnEveryBackend) {
  const test_support::TempDir dir;
  const std::string file = dir.File("demo.db");
  ASSERT_EQ(RunOstrand(dir, {"demo-db", file, "--password", "pw"}).exit_code, 0);
  const test_support::TestDatabase postgres(TestBackend::kPostgresql);
  const Outcome written =
      RunOstrand(dir, {"demo-db", postgres.connection_string(), "--password", "pw"});
  ASSERT_EQ(written.exit_code, 0) << written.err;
  const std::vector<std::string> databases = {
      "sqlite:" + file, postgres.connection_string(), "odbc:Driver=SQLite3;Database=" + file,
      test_support::PostgresConnection(TestBackend::kOdbcPostgresql, postgres.schema())};

  // A day of next year's March: inside the demo data whatever today is.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ASSERT_NE(::localtime_r(&now, &local), nullptr);
  const std::string day = "{\"date\": \"" + std::to_string(local.tm_year + 1901) + "-3-15\"}";
  std::string script;
  for (const std::string& call : std::vector<std::string>{
           "\"OnStartPage\"", "\"Init\"", "\"GetPersonDay\", " + day + ", {\"int\": 1}",
           "\"GetPersonDay\", " + day + ", {\"int\": 2}", "\"GetPersonDay2\", " + day + ", 3",
           "\"GetName\", {\"int\": 4}", "\"DispMonth\", " + day + ", {\"int\": 1}",
           "\"DispMonth\", " + day + ", {\"int\": 2}", "\"DispWeek\", " + day + ", \"1\"",
           "\"DispLeaderMonth\", " + day + ", \"1=1\"",
           "\"DispLeaderWeek\", " + day + ", \"person.dutyID>3\"",
           "\"DispPersonMonth\", " + day + ", {\"int\": 5}",
           "\"DispPersonWeek\", " + day + ", {\"int\": 6}", "\"OnEndPage\""}) {
    script += "[" + call + "]\n";
  }
  std::vector<Outcome> runs;
  for (const std::string& database : databases) {
    runs.push_back(RunOstrand(dir,
                              {"script", "--debug", "--db", database, "--url", "/leaderMonth.asp",
                               "--session", "personID=int:1", "--session", "systemID=int:1",
                               "--clock", "45296"},
                              script));
    EXPECT_EQ(runs.back().exit_code, 0) << database << ": " << runs.back().err;
  }
  ASSERT_GT(runs[0].out.size(), 30000u);
  for (std::size_t i = 1; i < runs.size(); ++i) {
    EXPECT_TRUE(runs[i].out == runs[0].out) << databases[i] << " differs from SQLite";
  }
}

TEST(CliBackends, InitDbCreatesTheTablesOnceUnlessToldToAddMissingOnes) {
  const test_support::TempDir dir;
  const std::string database = "sqlite:" + dir.File("new.db");
  EXPECT_EQ(RunOstrand(dir, {"init-db", database}).exit_code, 0);
  const Outcome again = RunOstrand(dir, {"init-db", database});
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_NE(again.err.find("already holds the tables personDuty"), std::string::npos) << again.err;
  EXPECT_EQ(RunOstrand(dir, {"init-db", database, "--add-missing"}).exit_code, 0);

  const test_support::TestDatabase postgres(TestBackend::kPostgresql);
  EXPECT_EQ(RunOstrand(dir, {"init-db", postgres.connection_string()}).exit_code, 1);
  const Outcome wrong = RunOstrand(dir, {"init-db", "mysql://root:pw@db/plans"});
  EXPECT_EQ(wrong.exit_code, 1);
  EXPECT_EQ(wrong.err.find(":pw@"), std::string::npos) << wrong.err;
}

}  // namespace
}  // namespace ostrand

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/value.h"
#include "store/plan_store.h"
#include "store/record_set.h"
#include "store/schema.h"
#include "test_support.h"

namespace ostrand::store {
namespace fs = std::filesystem;
namespace {

using test_support::ErrorOf;

#define EXPECT_ERROR_HAS(action, part)                                            \
  do {                                                                            \
    const std::string message_ = ErrorOf([&] { action; });                        \
    EXPECT_NE(message_.find(part), std::string::npos) << "message: " << message_; \
  } while (0)

// A fresh directory per test, removed afterwards.
class StoreTempDir : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return dir_.File(name); }

  test_support::TempDir dir_;
};

// ---- RecordSet on its own -------------------------------------------------

TEST(StoreRecordSet, WalksRowsAndReadsFields) {
  RecordSet rs({"planID", "Name"}, {{Value::Int32(1), Value::Text("a")},
                                    {Value::Int32(2), Value::Null()}});
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Field("PLANID"), Value::Int32(1));
  EXPECT_EQ(rs.Field("name"), Value::Text("a"));
  EXPECT_EQ(rs.Field(std::size_t{1}), Value::Text("a"));
  rs.MoveNext();
  EXPECT_TRUE(rs.Field("Name").is_null());
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_ERROR_HAS(rs.MoveNext(), "no current row");
  EXPECT_ERROR_HAS(rs.Field("planID"), "no current row");
  EXPECT_ERROR_HAS(rs.Field(std::size_t{0}), "no current row");
}

TEST(StoreRecordSet, BadColumnsNameTheColumn) {
  RecordSet rs({"a"}, {{Value::Int32(1)}});
  EXPECT_ERROR_HAS(rs.Field("planId2"), "'planId2'");
  EXPECT_ERROR_HAS(rs.Field(std::size_t{1}), "column index 1");
  rs.Close();
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(RecordSet().Eof());
}

TEST(StoreRecordSet, RowWithWrongWidthIsRefused) {
  EXPECT_ERROR_HAS(RecordSet({"a", "b"}, {{Value::Int32(1)}}), "row 0 has 1 values for 2 columns");
}

// ---- Opening ----------------------------------------------------------------

TEST_F(StoreTempDir, ConnectionStringErrors) {
  PlanStore store;
  EXPECT_ERROR_HAS(store.Open(""), "no connection string");
  EXPECT_ERROR_HAS(store.Open("   "), "no connection string");
  EXPECT_ERROR_HAS(store.Open("mysql://host/plans"),
                   "unsupported connection string 'mysql://host/plans'");
  EXPECT_ERROR_HAS(store.Open("odbc: "), "nothing after 'odbc:'");
  EXPECT_ERROR_HAS(store.Open("sqlite:"), "no database path");
  EXPECT_FALSE(store.IsOpen());
  EXPECT_ERROR_HAS(store.Query("select 1"), "no open database connection");
  EXPECT_ERROR_HAS(store.Execute("select 1"), "no open database connection");
}

TEST_F(StoreTempDir, MissingFileIsAnErrorAndIsNotCreated) {
  const std::string path = PathOf("missing.db");
  for (const std::string& cs : {"sqlite:" + path, path}) {
    PlanStore store;
    EXPECT_ERROR_HAS(store.Open(cs), "'" + path + "'");
    EXPECT_FALSE(store.IsOpen());
    EXPECT_FALSE(fs::exists(path));
  }
  // A missing directory likewise.
  PlanStore store;
  EXPECT_ERROR_HAS(store.Open(PathOf("no/such/dir/x.db")), "does not exist");
  EXPECT_FALSE(fs::exists(PathOf("no")));
}

TEST_F(StoreTempDir, FilesThatAreNotDatabasesAreRefused) {
  const std::string text_file = PathOf("notes.db");
  std::ofstream(text_file) << "this is not a database, just some text long enough to matter\n"
                           << std::string(200, 'x');
  PlanStore store;
  EXPECT_ERROR_HAS(store.Open(text_file), "'" + text_file + "'");
  EXPECT_FALSE(store.IsOpen());
  EXPECT_ERROR_HAS(store.Query("select 1"), "no open database connection");

  const std::string directory = PathOf("folder.db");
  fs::create_directories(directory);
  EXPECT_ERROR_HAS(store.Open(directory), "'" + directory + "'");
  EXPECT_FALSE(store.IsOpen());
}

TEST_F(StoreTempDir, ReopenSwitchesDatabaseAndFailedOpenLeavesItClosed) {
  const std::string first = PathOf("first.db");
  CreateSqliteDatabase(first);
  PlanStore store;
  store.Open(first);
  store.Execute("insert into personDuty values (1, 'first')");
  EXPECT_ANY_THROW(store.Open(PathOf("gone.db")));
  EXPECT_FALSE(store.IsOpen());
  store.Open("sqlite:" + first);
  EXPECT_EQ(store.Query("select dutyName from personDuty").Field(std::size_t{0}),
            Value::Text("first"));
}

// ---- Schema ---------------------------------------------------------------

TEST(StoreSchema, EmbeddedCopyMatchesDbSchemaFile) {
  std::ifstream file(std::string(OSTRAND_SOURCE_DIR) + "/db/schema.sql", std::ios::binary);
  ASSERT_TRUE(file.is_open());
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), SchemaSql());
}

TEST_F(StoreTempDir, CreatingTwiceKeepsRows) {
  const std::string path = PathOf("plans.db");
  CreateSqliteDatabase(path);
  {
    PlanStore store;
    store.Open(path);
    store.Execute("insert into person(personID, personName) values (7, 'Bo')");
  }
  CreateSqliteDatabase(path);
  PlanStore store;
  store.Open(path);
  EXPECT_EQ(store.Query("select personName from person where personID=7").Field("personName"),
            Value::Text("Bo"));
  EXPECT_ERROR_HAS(CreateSqliteDatabase(PathOf("no/dir/x.db")), PathOf("no/dir/x.db"));
}

// ---- Queries on a filled database ---------------------------------------------

class StoreQuery : public StoreTempDir {
 protected:
  void SetUp() override {
    const std::string path = PathOf("plans.db");
    CreateSqliteDatabase(path);
    store_.Open("sqlite:" + path);
    store_.Execute(R"sql(
      insert into personDuty values (1, 'Lead'), (2, 'Clerk');
      insert into person values (11, 'Ann', 1, 1), (12, 'Bo', 2, 1), (13, 'Cy', 2, 1);
      insert into planAddrType values (1, 'Office'), (2, 'Site');
      insert into planAddr values (5, 'North wing', 1);
      insert into personPlan values
        (100, 11, '2001-12-05 08:00:00', '2001-12-05 12:00:00', 1, 5, 'Room 3', 1, 'Budget', NULL, 0),
        (101, 11, '2001-12-05 23:30:00', '2001-12-06 01:00:00', 2, NULL, 'Yard', 1, 'Night', 'x', 0),
        (102, 12, '2001-12-04 09:00:00', '2001-12-04 10:00:00', 1, 5, NULL, 2, 'Call', NULL, 1),
        (103, 12, '2001-12-10 09:00:00', '2001-12-10 10:00:00', 2, NULL, NULL, 2, 'Visit', NULL, 1);
    )sql");
  }

  // The value of the first column of the first row of a query.
  Value Scalar(const std::string& tsql) {
    RecordSet rs = store_.Query(tsql);
    if (rs.Eof()) throw Error("no rows for " + tsql);
    return rs.Field(std::size_t{0});
  }

  std::vector<int> Ids(const std::string& tsql) {
    std::vector<int> ids;
    for (RecordSet rs = store_.Query(tsql); !rs.Eof(); rs.MoveNext()) {
      ids.push_back(static_cast<int>(rs.Field(std::size_t{0}).ToNumber()));
    }
    return ids;
  }

  PlanStore store_;
};

TEST_F(StoreQuery, ValueKindsFollowColumnTypes) {
  RecordSet rs = store_.Query(
      "select planID, planStartTime, planAddrDetail, planAddition, planAddrID "
      "from personPlan where planID=101");
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Field("planID"), Value::Int32(101));
  EXPECT_EQ(rs.Field("planStartTime"), Value::Date(DateTime::FromCivil(2001, 12, 5, 23, 30, 0)));
  EXPECT_EQ(rs.Field("planAddrDetail"), Value::Text("Yard"));
  EXPECT_EQ(rs.Field("planAddition"), Value::Text("x"));
  EXPECT_TRUE(rs.Field("planAddrID").is_null());
  EXPECT_EQ(rs.columns(), (std::vector<std::string>{"planID", "planStartTime", "planAddrDetail",
                                                    "planAddition", "planAddrID"}));

  store_.Execute(
      "create table wide(big INTEGER, r REAL, d DATETIME, s TEXT);"
      "insert into wide values (5000000000, 2.5, NULL, '2001-12-05 08:00:00')");
  RecordSet wide = store_.Query("select big, r, d, s from wide");
  EXPECT_EQ(wide.Field("big"), Value::Double(5000000000.0));
  EXPECT_EQ(wide.Field("r"), Value::Double(2.5));
  EXPECT_TRUE(wide.Field("d").is_null());
  // A date held in a text column stays text.
  EXPECT_EQ(wide.Field("s"), Value::Text("2001-12-05 08:00:00"));

  // Computed columns have no declared type; their values keep their kind.
  RecordSet computed = store_.Query("select count(*) as n, 1.5 as f, 'x' as t, "
                                    "DATEDIFF(dd, '2001-12-1', '2001-12-5') as d");
  EXPECT_EQ(computed.Field("n"), Value::Int32(1));
  EXPECT_EQ(computed.Field("f"), Value::Double(1.5));
  EXPECT_EQ(computed.Field("t"), Value::Text("x"));
  EXPECT_EQ(computed.Field("d"), Value::Int32(4));
}

TEST_F(StoreQuery, UnreadableDateInDateColumnNamesIt) {
  store_.Execute("insert into personPlan(planID, personID, planStartTime) values (200, 13, 'soon')");
  EXPECT_ERROR_HAS(store_.Query("select planStartTime from personPlan where planID=200"),
                   "column 'planStartTime' holds 'soon'");
}

TEST_F(StoreQuery, OnlyOneStatementRuns) {
  EXPECT_ERROR_HAS(store_.Query("select personName from person where personID=1; "
                                "delete from person"),
                   "one statement");
  EXPECT_EQ(Ids("select personID from person order by personID"),
            (std::vector<int>{11, 12, 13}));
  // A trailing semicolon or comment is no second statement.
  EXPECT_EQ(Ids("select personID from person where personID=12; -- done"),
            (std::vector<int>{12}));
}

TEST_F(StoreQuery, AliasedSelectListReadsByAliasName) {
  RecordSet rs = store_.Query(
      "select planID,Type1ID=personPlan.planAddrTypeID,Type1=planAddrType.planAddrTypeName,"
      "planAddrDetail from personPlan,planAddrType "
      "where personPlan.planAddrTypeID=planAddrType.planAddrTypeID and personID=11 "
      "order by planID");
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Field("type1id"), Value::Int32(1));
  EXPECT_EQ(rs.Field("TYPE1"), Value::Text("Office"));
  rs.MoveNext();
  EXPECT_EQ(rs.Field("Type1"), Value::Text("Site"));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
}

TEST_F(StoreQuery, EmptyResultStillNamesColumns) {
  RecordSet rs = store_.Query("select planID, planContent from personPlan where personID=99");
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(rs.row_count(), 0u);
  EXPECT_EQ(rs.columns(), (std::vector<std::string>{"planID", "planContent"}));
}

TEST_F(StoreQuery, NestedRecordSetsOnOneStore) {
  std::vector<std::string> seen;
  for (RecordSet people = store_.Query("select personID, personName from person order by personID");
       !people.Eof(); people.MoveNext()) {
    const std::string id = people.Field("personID").ToText();
    RecordSet plans =
        store_.Query("select planID from personPlan where personID=" + id + " order by planID");
    std::string line = people.Field("personName").ToText() + ":";
    for (; !plans.Eof(); plans.MoveNext()) line += " " + plans.Field("planID").ToText();
    seen.push_back(line);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Ann: 100 101", "Bo: 102 103", "Cy:"}));
}

TEST_F(StoreQuery, DayDiffCountsCalendarDays) {
  // Times of day are ignored: one calendar boundary lies between these.
  EXPECT_EQ(Scalar("select DATEDIFF(dd, '2001-12-4 23:00:00', '2001-12-5 01:00:00')").ToNumber(),
            1);
  EXPECT_EQ(Scalar("select DATEDIFF(dd, '2001-12-5 01:00:00', '2001-12-5 23:59:59')").ToNumber(),
            0);
  EXPECT_EQ(Scalar("select DATEDIFF(dd, '2001-12-5', '2001-12-1')").ToNumber(), -4);
  EXPECT_EQ(Scalar("select DATEDIFF(dd, '2000-2-28', '2000/3/1')").ToNumber(), 2);
  EXPECT_EQ(Scalar("select DATEDIFF(dd, '2001-12-31T22:00', '2002-01-01 00:00:00.000')").ToNumber(),
            1);
  EXPECT_TRUE(Scalar("select DATEDIFF(dd, NULL, '2001-12-5')").is_null());
  EXPECT_TRUE(Scalar("select DATEDIFF(dd, planAddition, '2001-12-5') from personPlan "
                     "where planID=100")
                  .is_null());
}

TEST_F(StoreQuery, DayDiffOnStoredDatesInWhereClause) {
  // Unpadded literal against padded stored text, whatever the time of day.
  EXPECT_EQ(Ids("select planID from personPlan where DATEDIFF(dd, planStartTime, '2001-12-5')=0 "
                "order by planID"),
            (std::vector<int>{100, 101}));
  EXPECT_EQ(Ids("select planID from personPlan where datediff(dd,planStartTime,'2001-12-5')<0 "
                "order by planID"),
            (std::vector<int>{103}));
  EXPECT_EQ(Ids("select planID, N=DATEDIFF(dd, planStartTime, planEndTime) from personPlan "
                "where DATEDIFF(dd, planStartTime, planEndTime)>0"),
            (std::vector<int>{101}));
}

// SQLite's own date functions count the days (as they do behind ODBC):
// text that is no date gives no count, so no comparison with it holds.
TEST_F(StoreQuery, DayDiffOfTextThatIsNoDateIsNull) {
  EXPECT_TRUE(Scalar("select DATEDIFF(dd, 'soon', '2001-12-5')").is_null());
  EXPECT_TRUE(Scalar("select DATEDIFF(dd, planContent, '2001-12-5') from personPlan").is_null());
  EXPECT_TRUE(Scalar("select DATEDIFF(dd, '2001-13-40', '2001-12-5')").is_null());
  EXPECT_EQ(Ids("select planID from personPlan where DATEDIFF(dd, planContent, '2001-12-5')>=0"),
            std::vector<int>{});
}

TEST_F(StoreQuery, DatabaseErrorsCarryItsMessage) {
  EXPECT_ERROR_HAS(store_.Query("select nosuchcol from person"), "no such column: nosuchcol");
  EXPECT_ERROR_HAS(store_.Query("select * from nosuchtable"), "no such table: nosuchtable");
  EXPECT_ERROR_HAS(store_.Execute("insert into personPlan(planID) values (1)"),
                   "NOT NULL constraint failed");
  // The store stays usable after an error.
  EXPECT_EQ(Scalar("select personName from person where personID=12"), Value::Text("Bo"));
}

TEST(StoreMemory, EachOpenIsAFreshDatabase) {
  PlanStore store;
  store.Open("sqlite::memory:");
  store.Execute("create table t(a INTEGER); insert into t values (1)");
  EXPECT_EQ(store.Query("select a from t").Field("A"), Value::Int32(1));
  store.Open("SQLite::memory:");
  EXPECT_ERROR_HAS(store.Query("select a from t"), "no such table: t");
}

}  // namespace
}  // namespace ostrand::store

// Test databases on every backend: SQLite, PostgreSQL, and both behind ODBC.
// PostgreSQL is the throwaway server that CTest starts before the tests
// (scripts/test-postgres, fixture "postgres") in OSTRAND_TEST_POSTGRES_DIR;
// its ODBC drivers are registered in that folder's odbcinst.ini. A test on
// a server backend fails, naming the reason, when the server is not there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "store/connect.h"
#include "store/schema.h"
#include "test_support.h"

namespace ostrand::test_support {

enum class TestBackend { kSqlite, kPostgresql, kOdbcSqlite, kOdbcPostgresql };

inline const std::vector<TestBackend> kAllBackends = {
    TestBackend::kSqlite, TestBackend::kPostgresql, TestBackend::kOdbcSqlite,
    TestBackend::kOdbcPostgresql};

// Test name suffixes: Sqlite, Postgresql, OdbcSqlite, OdbcPostgresql.
inline std::string BackendName(const ::testing::TestParamInfo<TestBackend>& info) {
  switch (info.param) {
    case TestBackend::kSqlite:
      return "Sqlite";
    case TestBackend::kPostgresql:
      return "Postgresql";
    case TestBackend::kOdbcSqlite:
      return "OdbcSqlite";
    case TestBackend::kOdbcPostgresql:
      return "OdbcPostgresql";
  }
  return "Unknown";
}

// The throwaway PostgreSQL server of the test run.
struct TestServer {
  std::string conninfo;  // postgresql:// URI of database "ostrand"
  std::string socket;    // its socket folder
};

// Reads the server's files once, and points the ODBC driver manager at the
// private odbcinst.ini. Throws Error naming what is missing.
inline const TestServer& ThrowawayPostgres() {
  static const TestServer server = [] {
    const std::string dir = OSTRAND_TEST_POSTGRES_DIR;
    TestServer s;
    s.conninfo = std::string(TrimWhitespace(ReadFile(dir + "/conninfo")));
    s.socket = std::string(TrimWhitespace(ReadFile(dir + "/socket")));
    if (s.conninfo.empty() || s.socket.empty()) {
      throw Error("no throwaway PostgreSQL in " + dir +
                  ": run the tests with ctest, or start one with scripts/test-postgres start " +
                  dir);
    }
    ::setenv("ODBCSYSINI", (dir + "/odbc").c_str(), 1);
    ::setenv("ODBCINI", (dir + "/odbc/odbc.ini").c_str(), 1);
    return s;
  }();
  return server;
}

// The connection string of the test server's database for a backend,
// with `schema` as the only schema searched.
inline std::string PostgresConnection(TestBackend backend, const std::string& schema) {
  const TestServer& server = ThrowawayPostgres();
  if (backend == TestBackend::kOdbcPostgresql) {
    return "odbc:Driver={PostgreSQL Unicode};Server=" + server.socket +
           ";Port=5432;Database=ostrand;Uid=ostrand;pqopt={options=-csearch_path=" + schema + "}";
  }
  return server.conninfo + "&options=-csearch_path%3D" + schema;
}

// A fresh database with the schema (db/) on one backend, gone with the
// object: an SQLite file in a temporary folder, or a schema of its own on
// the test server.
class TestDatabase {
 public:
  explicit TestDatabase(TestBackend backend) : backend_(backend) {
    switch (backend) {
      case TestBackend::kSqlite:
      case TestBackend::kOdbcSqlite: {
        const std::string path = dir_.File("plans.db");
        store::CreateSqliteDatabase(path);
        connection_string_ = backend == TestBackend::kSqlite
                                 ? "sqlite:" + path
                                 : "odbc:Driver=SQLite3;Database=" + path;
        if (backend == TestBackend::kOdbcSqlite) ThrowawayPostgres();  // the ODBC drivers
        break;
      }
      case TestBackend::kPostgresql:
      case TestBackend::kOdbcPostgresql: {
        static std::atomic<int> counter{0};
        schema_ = "t_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        store::Connect(ThrowawayPostgres().conninfo)->ExecuteScript("CREATE SCHEMA " + schema_);
        connection_string_ = PostgresConnection(backend, schema_);
        store::CreateSchema(*store::Connect(connection_string_));
        break;
      }
    }
  }
  ~TestDatabase() {
    if (schema_.empty()) return;
    try {
      store::Connect(ThrowawayPostgres().conninfo)
          ->ExecuteScript("DROP SCHEMA " + schema_ + " CASCADE");
    } catch (const std::exception& e) {
      ADD_FAILURE() << "cannot drop schema " << schema_ << ": " << e.what();
    }
  }
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  TestBackend backend() const { return backend_; }
  // The schema of a database on the test server (empty for SQLite).
  const std::string& schema() const { return schema_; }
  const std::string& connection_string() const { return connection_string_; }

 private:
  TestBackend backend_;
  TempDir dir_;
  std::string schema_;
  std::string connection_string_;
};

}  // namespace ostrand::test_support

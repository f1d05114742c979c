// A small schedule database for the leader summary tests: a fresh database
// per test on each backend (the tests are parametrised by it) with places of
// kinds 1 to 5, and a query source that records every SQL text it runs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "store/plan_store.h"
#include "store/schema.h"
#include "test_databases.h"
#include "test_support.h"

namespace ostrand::views::testing {

class RecordingSource : public store::QuerySource {
 public:
  explicit RecordingSource(store::QuerySource& inner) : inner_(inner) {}
  store::RecordSet Query(const std::string& tsql) override {
    sqls.push_back(tsql);
    return inner_.Query(tsql);
  }
  std::vector<std::string> sqls;

 private:
  store::QuerySource& inner_;
};

inline std::string Quoted(const std::optional<std::string>& text) {
  if (!text) return "NULL";
  std::string out = "'";
  for (char c : *text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

using test_support::ErrorOf;

class LeaderDb : public ::testing::TestWithParam<test_support::TestBackend> {
 protected:
  void SetUp() override {
    database_ = std::make_unique<test_support::TestDatabase>(Backend());
    store_.Open(database_->connection_string());
    if (Backend() == test_support::TestBackend::kSqlite) {
      store_.Execute("PRAGMA synchronous=OFF");  // test data need not survive a crash
    }
    store_.Execute(
        "INSERT INTO personDuty VALUES (1,'主任'),(2,'职员');"
        "INSERT INTO planAddrType VALUES (1,'办公室'),(2,'北京'),(3,'外地'),(4,'国外'),(5,'?');"
        "INSERT INTO planAddr VALUES (1,' 本部 ',1),(2,'北京',2),(3,'上海',3),(4,'东京',4),"
        "(5,'别处',5)");
  }
  void TearDown() override {
    store_.Close();
  }

  const std::string& Connection() const { return database_->connection_string(); }
  // The backend of the test's database: the test's parameter; a fixture
  // of tests that are not parametrised names one.
  virtual test_support::TestBackend Backend() const { return GetParam(); }

  void AddPerson(int id, const std::string& name, int duty, int system) {
    store_.Execute("INSERT INTO person VALUES (" + std::to_string(id) + "," + Quoted(name) + "," +
                   std::to_string(duty) + "," + std::to_string(system) + ")");
  }
  // Start and end as 'YYYY-MM-DD HH:MM:SS'; the place id equals the kind.
  void AddPlan(int person, const std::string& start, const std::string& end, int kind,
               const std::optional<std::string>& content, int flag = 1,
               const std::optional<std::string>& detail = std::nullopt,
               const std::optional<std::string>& addition = std::nullopt) {
    store_.Execute(
        "INSERT INTO personPlan (personID,planStartTime,planEndTime,planAddrTypeID,planAddrID,"
        "planAddrDetail,planTypeID,planContent,planAddition,planFlagID) VALUES (" +
        std::to_string(person) + ",'" + start + "','" + end + "'," + std::to_string(kind) + "," +
        std::to_string(kind) + "," + Quoted(detail) + ",1," + Quoted(content) + "," +
        Quoted(addition) + "," + std::to_string(flag) + ")");
  }

  test_support::TempDir dir_;  // for files a test writes beside the database
  std::unique_ptr<test_support::TestDatabase> database_;
  store::PlanStore store_;
  RecordingSource db_{store_};
};

// The cells "<td...>...</td>" of a row, in order.
inline std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  for (std::size_t at = row.find("<td"); at != std::string::npos; at = row.find("<td", at)) {
    const std::size_t end = row.find("</td>", at) + 5;
    cells.push_back(row.substr(at, end - at));
    at = end;
  }
  return cells;
}

inline std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

}  // namespace ostrand::views::testing

// Fixtures for the plan and personal view tests: a fresh database with the
// schema on each backend (the tests are parametrised by it), four kinds of
// place, a few places and persons; a query source that records the SQL it is
// given; and a Schedulers page over it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "component/schedulers.h"
#include "core/error.h"
#include "host/memory_context.h"
#include "store/plan_store.h"
#include "store/schema.h"
#include "test_databases.h"
#include "test_support.h"

namespace ostrand::plans_test {

// The shared plan select, written out as the queries must show it.
inline const std::string kSelect =
    "select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,Type1=planAddrType."
    "planAddrTypeName,Type2=planAddr.planAddrName,planAddrDetail,planTypeID,planContent,"
    "planAddition,planFlagID from personPlan,planAddrType,planAddr where personPlan."
    "planAddrTypeID=planAddrType.planAddrTypeID and personPlan.planAddrID=planAddr.planAddrID "
    "and personID=";

// Records every SQL text, then asks the store (or returns `canned` rows).
class RecordingSource : public store::QuerySource {
 public:
  explicit RecordingSource(store::QuerySource* store = nullptr) : store_(store) {}
  store::RecordSet Query(const std::string& tsql) override {
    sql.push_back(tsql);
    return store_ ? store_->Query(tsql) : canned;
  }
  std::vector<std::string> sql;
  store::RecordSet canned;

 private:
  store::QuerySource* store_;
};

using test_support::ErrorOf;

// Persons: 7 张三 科长, 8 李四 (duty without a row), 9 NULL name 处长.
// Kinds 1..4 and 5; places 1 办公楼, 2 "  中关村 " (blanks kept), 3 上海, 4 东京.
class PlansDb : public ::testing::TestWithParam<test_support::TestBackend> {
 protected:
  void SetUp() override {
    db_ = std::make_unique<test_support::TestDatabase>(GetParam());
    path_ = db_->connection_string();
    store_.Open(path_);
    store_.Execute(
        "INSERT INTO planAddrType VALUES (1,'本单位'),(2,' 北京 "
        "'),(3,'京外'),(4,'国外'),(5,'其他');"
        "INSERT INTO planAddr VALUES (1,'办公楼',1),(2,'  中关村 ',2),(3,'上海',3),(4,'东京',4);"
        "INSERT INTO personDuty VALUES (1,'科长'),(2,'处长');"
        "INSERT INTO person VALUES (7,'张三',1,1),(8,'李四',99,1),(9,NULL,2,1);");
  }
  void TearDown() override {
    store_.Close();
  }

  // Adds a plan; texts are SQL literals ("NULL" or "'...'").
  void AddPlan(const std::string& start, const std::string& end, int kind, int flag,
               const std::string& content, int person = 7, int addr = 1,
               const std::string& detail = "NULL", const std::string& addition = "NULL") {
    store_.Execute(
        "INSERT INTO personPlan (personID,planStartTime,planEndTime,planAddrTypeID,"
        "planAddrID,planAddrDetail,planTypeID,planContent,planAddition,planFlagID) "
        "VALUES (" +
        std::to_string(person) + ",'" + start + "','" + end + "'," + std::to_string(kind) + "," +
        std::to_string(addr) + "," + detail + ",1," + content + "," + addition + "," +
        std::to_string(flag) + ")");
  }

  std::unique_ptr<test_support::TestDatabase> db_;
  std::string path_;  // the connection string
  store::PlanStore store_;
};

// A Schedulers instance on the test database, signed in as `viewer`.
struct Page {
  Page(const std::string& connection_string, const Value& viewer, bool debug = false) {
    session->Set("personID", viewer);
    s.OnStartPage(Value::Object(std::make_shared<host::MemoryContext>(
        response, std::make_shared<host::MemoryRequest>("/p.asp"), session)));
    if (debug) s.DebugMode();
    s.Init(Value::Text(connection_string));
    response->Clear();
  }
  std::shared_ptr<host::MemoryResponse> response = std::make_shared<host::MemoryResponse>();
  std::shared_ptr<host::MemorySession> session = std::make_shared<host::MemorySession>();
  Schedulers s;
};

inline int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++n;
  return n;
}

}  // namespace ostrand::plans_test

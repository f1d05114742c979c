// The floor of the store benchmark: what the leader month of one system
// costs a plain program on the engine's own C API, with nothing of ours in
// between. It runs as a process of its own, as `ostrand call` does, so that
// bench_store compares whole processes.
//
//   store_floor CONN DATE   (CONN: sqlite:PATH or postgresql://...; DATE: YYYY-MM-DD, a day of the month)
//
// Two statements, each prepared once and bound: the persons of system 1 in
// the order of their duty, then for each person the month's plans, every
// column of every row read, nothing rendered. The date conditions are the
// cheapest plain ones, calendar days compared with the engine's own date
// function (no function registered by us). On SQLite:
//
//   select person.personID,person.personName,person.dutyID,personDuty.dutyName
//     from person,personDuty where person.DutyID=personDuty.DutyID and systemID=?1
//     order by person.dutyID
//   select planID,planStartTime,planEndTime,personPlan.planAddrTypeID,
//     planAddrType.planAddrTypeName,planAddr.planAddrName,planAddrDetail,planTypeID,
//     planContent,planAddition,planFlagID
//     from personPlan,planAddrType,planAddr
//     where personPlan.planAddrTypeID=planAddrType.planAddrTypeID
//       and personPlan.planAddrID=planAddr.planAddrID and personID=?1
//       and date(planStartTime) <= ?2 and date(planEndTime) >= ?3 and planFlagID=1
//     order by planStartTime
//
// with ?2 the month's last day and ?3 its first ('2001-12-31', '2001-12-01').
// PostgreSQL runs the same texts with $n placeholders, CAST(x AS date) for
// date(x), and the table's key after the order's column (person.personID,
// planID: the order every engine gives the component's rows). Prints the number of rows and of bytes
// read.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kPersonsSelect =
    "select person.personID,person.personName,person.dutyID,personDuty.dutyName "
    "from person,personDuty where person.DutyID=personDuty.DutyID and systemID=$1 "
    "order by person.dutyID";

const std::string kSqlitePersonsSql(kPersonsSelect);
const std::string kPostgresqlPersonsSql = std::string(kPersonsSelect) + ", person.personID";

constexpr std::string_view kPlanColumns =
    "select planID,planStartTime,planEndTime,personPlan.planAddrTypeID,"
    "planAddrType.planAddrTypeName,planAddr.planAddrName,planAddrDetail,planTypeID,"
    "planContent,planAddition,planFlagID from personPlan,planAddrType,planAddr "
    "where personPlan.planAddrTypeID=planAddrType.planAddrTypeID "
    "and personPlan.planAddrID=planAddr.planAddrID and personID=$1 ";

const std::string kSqlitePlansSql =
    std::string(kPlanColumns) +
    "and date(planStartTime) <= $2 and date(planEndTime) >= $3 and planFlagID=1 "
    "order by planStartTime";

const std::string kPostgresqlPlansSql =
    std::string(kPlanColumns) +
    "and CAST(planStartTime AS date) <= CAST($2 AS date) "
    "and CAST(planEndTime AS date) >= CAST($3 AS date) and planFlagID=1 "
    "order by planStartTime, planID";

struct Totals {
  std::uint64_t rows = 0;
  std::uint64_t bytes = 0;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "store_floor: %s\n", message.c_str());
  return 1;
}

int Done(const Totals& totals) {
  std::printf("%llu rows, %llu bytes\n", static_cast<unsigned long long>(totals.rows),
              static_cast<unsigned long long>(totals.bytes));
  return 0;
}

// The month's first and last day as YYYY-MM-DD, from a day of it.
bool MonthBounds(const std::string& day, std::string& first, std::string& last) {
  int year = 0, month = 0, d = 0;
  if (std::sscanf(day.c_str(), "%4d-%2d-%2d", &year, &month, &d) != 3 || month < 1 ||
      month > 12 || year < 1 || year > 9999) {
    return false;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-01", year, month);
  first = text;
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, days);
  last = text;
  return true;
}

// ---- SQLite -----------------------------------------------------------------

struct SqliteClose {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct SqliteFinalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteFinalize>;

SqliteStatement SqlitePrepare(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                     &statement, nullptr);
  return SqliteStatement(statement);
}

// Steps through every row, reading every column; calls `row` at each row.
template <typename Row>
bool SqliteRows(sqlite3_stmt* statement, Totals& totals, Row row) {
  const int columns = sqlite3_column_count(statement);
  int rc = 0;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    ++totals.rows;
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(statement, c)) {
        case SQLITE_INTEGER:
          totals.bytes += static_cast<std::uint64_t>(sqlite3_column_int64(statement, c)) & 1;
          break;
        case SQLITE_FLOAT:
          totals.bytes += sqlite3_column_double(statement, c) > 0;
          break;
        case SQLITE_TEXT:
          sqlite3_column_text(statement, c);
          totals.bytes += static_cast<std::uint64_t>(sqlite3_column_bytes(statement, c));
          break;
        default:
          break;
      }
    }
    if (!row(statement)) return false;
  }
  sqlite3_reset(statement);
  return rc == SQLITE_DONE;
}

int RunSqlite(const std::string& path, const std::string& first, const std::string& last) {
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  const std::unique_ptr<sqlite3, SqliteClose> db(raw);
  if (opened != SQLITE_OK) return Fail("cannot open " + path);
  // One snapshot for the whole month, as the component reads it.
  if (sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Fail(sqlite3_errmsg(db.get()));
  }
  const SqliteStatement persons = SqlitePrepare(db.get(), kSqlitePersonsSql);
  const SqliteStatement plans = SqlitePrepare(db.get(), kSqlitePlansSql);
  if (!persons || !plans) return Fail(sqlite3_errmsg(db.get()));
  Totals totals;
  const bool ok =
      sqlite3_bind_int64(persons.get(), 1, 1) == SQLITE_OK &&
      sqlite3_bind_text(plans.get(), 2, last.c_str(), -1, SQLITE_STATIC) == SQLITE_OK &&
      sqlite3_bind_text(plans.get(), 3, first.c_str(), -1, SQLITE_STATIC) == SQLITE_OK &&
      SqliteRows(persons.get(), totals, [&](sqlite3_stmt* row) {
        return sqlite3_bind_int64(plans.get(), 1, sqlite3_column_int64(row, 0)) == SQLITE_OK &&
               SqliteRows(plans.get(), totals, [](sqlite3_stmt*) { return true; });
      });
  if (!ok) return Fail(sqlite3_errmsg(db.get()));
  sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
  return Done(totals);
}

// ---- PostgreSQL ---------------------------------------------------------------

struct PgFinish {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct PgClear {
  void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgClear>;

void PgRows(const PGresult* result, Totals& totals) {
  const int rows = PQntuples(result);
  const int columns = PQnfields(result);
  for (int r = 0; r < rows; ++r) {
    ++totals.rows;
    for (int c = 0; c < columns; ++c) {
      PQgetvalue(result, r, c);
      totals.bytes += static_cast<std::uint64_t>(PQgetlength(result, r, c));
    }
  }
}

int RunPostgresql(const std::string& uri, const std::string& first, const std::string& last) {
  const std::unique_ptr<PGconn, PgFinish> conn(PQconnectdb(uri.c_str()));
  if (PQstatus(conn.get()) != CONNECTION_OK) return Fail(PQerrorMessage(conn.get()));
  const auto command = [&](const char* sql) {
    return PgResult(PQexec(conn.get(), sql));
  };
  bool ok = PQresultStatus(command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY").get()) ==
            PGRES_COMMAND_OK;
  ok = ok && PQresultStatus(PgResult(PQprepare(conn.get(), "persons", kPostgresqlPersonsSql.c_str(), 0,
                                               nullptr))
                                .get()) == PGRES_COMMAND_OK;
  ok = ok && PQresultStatus(PgResult(PQprepare(conn.get(), "plans", kPostgresqlPlansSql.c_str(),
                                               0, nullptr))
                                .get()) == PGRES_COMMAND_OK;
  Totals totals;
  if (ok) {
    const char* system[] = {"1"};
    const PgResult list(PQexecPrepared(conn.get(), "persons", 1, system, nullptr, nullptr, 0));
    ok = PQresultStatus(list.get()) == PGRES_TUPLES_OK;
    if (ok) PgRows(list.get(), totals);
    for (int r = 0; ok && r < PQntuples(list.get()); ++r) {
      const char* values[] = {PQgetvalue(list.get(), r, 0), last.c_str(), first.c_str()};
      const PgResult plans(PQexecPrepared(conn.get(), "plans", 3, values, nullptr, nullptr, 0));
      ok = PQresultStatus(plans.get()) == PGRES_TUPLES_OK;
      if (ok) PgRows(plans.get(), totals);
    }
  }
  if (!ok) return Fail(PQerrorMessage(conn.get()));
  command("COMMIT");
  return Done(totals);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: store_floor CONN DATE");
  const std::string connection = argv[1];
  std::string first, last;
  if (!MonthBounds(argv[2], first, last)) {
    return Fail(std::string("cannot read '") + argv[2] + "' as a date (YYYY-MM-DD)");
  }
  constexpr std::string_view kSqlitePrefix = "sqlite:";
  if (connection.starts_with(kSqlitePrefix)) {
    return RunSqlite(connection.substr(kSqlitePrefix.size()), first, last);
  }
  if (connection.starts_with("postgresql://") || connection.starts_with("postgres://")) {
    return RunPostgresql(connection, first, last);
  }
  return Fail("CONN must start with sqlite: or postgresql://");
}

// The floor of the store benchmark: the queries of the leader month of one
// system, prepared once and bound on the engine's own C API, every row read,
// nothing rendered. It runs as a process of its own, as `ostrand call` does,
// so that bench_store compares whole processes.
//
//   store_floor CONN DATE   (CONN: sqlite:PATH or postgresql://...; DATE: a day of the month)
//
// The SQL texts are the component's own (views::PersonListSql,
// views::PersonMonthSql) after the store's literal lifting and translation:
// the very statements the store prepares. Prints the number of rows and of
// bytes read.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/date.h"
#include "store/connection_string.h"
#include "store/dialect.h"
#include "store/literal_lifting.h"
#include "store/sql_param.h"
#include "store/sqlite/day_start.h"
#include "views/leader_month.h"
#include "views/leader_rows.h"

namespace {

using ostrand::DateTime;
using ostrand::store::SqlParam;

struct Query {
  std::string sql;  // translated, with '?' placeholders
  std::vector<SqlParam> params;
};

Query Prepared(const std::string& tsql, ostrand::store::Engine engine) {
  const ostrand::store::LiftedQuery lifted = ostrand::store::LiftLiterals(tsql);
  // SQLite connections count days with the backend's ostrand_day_start, as
  // the store's do.
  return Query{ostrand::store::TranslateTsql(lifted.shape, engine,
                                             engine == ostrand::store::Engine::kSqlite),
               lifted.params};
}

std::string ParamText(const SqlParam& p) {
  switch (p.kind()) {
    case SqlParam::Kind::kInteger:
      return std::to_string(p.integer());
    case SqlParam::Kind::kDate:
    case SqlParam::Kind::kTimestamp:
      return ostrand::store::DateParamText(p);
    default:
      return p.text();
  }
}

struct Totals {
  std::uint64_t rows = 0;
  std::uint64_t bytes = 0;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "store_floor: %s\n", message.c_str());
  return 1;
}

// ---- SQLite -----------------------------------------------------------------

bool SqliteBind(sqlite3_stmt* statement, const std::vector<SqlParam>& params) {
  int i = 1;
  for (const SqlParam& p : params) {
    const int rc = p.kind() == SqlParam::Kind::kInteger
                       ? sqlite3_bind_int64(statement, i, p.integer())
                       : sqlite3_bind_text(statement, i, ParamText(p).c_str(), -1, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) return false;
    ++i;
  }
  return true;
}

// Steps through every row, reading every column; calls `row` with the
// statement at each row.
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
    row(statement);
  }
  sqlite3_reset(statement);
  return rc == SQLITE_DONE;
}

int RunSqlite(const std::string& path, const Query& persons, const Query& month) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      ostrand::store::RegisterDayStart(db) != SQLITE_OK) {
    sqlite3_close(db);
    return Fail("cannot open " + path);
  }
  sqlite3_stmt* list = nullptr;
  sqlite3_stmt* plans = nullptr;
  Totals totals;
  bool ok = sqlite3_prepare_v2(db, persons.sql.c_str(), -1, &list, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, month.sql.c_str(), -1, &plans, nullptr) == SQLITE_OK &&
            SqliteBind(list, persons.params);
  std::vector<SqlParam> params = month.params;
  ok = ok && SqliteRows(list, totals, [&](sqlite3_stmt* row) {
         params[0] = SqlParam::Integer(sqlite3_column_int64(row, 0));
         ok = ok && SqliteBind(plans, params) && SqliteRows(plans, totals, [](sqlite3_stmt*) {});
       });
  if (!ok) {
    const std::string message = sqlite3_errmsg(db);
    sqlite3_finalize(list);
    sqlite3_finalize(plans);
    sqlite3_close(db);
    return Fail(message);
  }
  sqlite3_finalize(list);
  sqlite3_finalize(plans);
  sqlite3_close(db);
  std::printf("%llu rows, %llu bytes\n", static_cast<unsigned long long>(totals.rows),
              static_cast<unsigned long long>(totals.bytes));
  return 0;
}

// ---- PostgreSQL ---------------------------------------------------------------

std::string Numbered(const std::string& sql) {
  std::string out;
  int n = 0;
  bool quoted = false;
  for (const char c : sql) {
    if (c == '\'') quoted = !quoted;
    if (c == '?' && !quoted) {
      out += '$' + std::to_string(++n);
    } else {
      out += c;
    }
  }
  return out;
}

PGresult* PgRun(PGconn* conn, const char* name, const std::vector<SqlParam>& params) {
  std::vector<std::string> texts;
  for (const SqlParam& p : params) texts.push_back(ParamText(p));
  std::vector<const char*> values;
  for (const std::string& t : texts) values.push_back(t.c_str());
  return PQexecPrepared(conn, name, static_cast<int>(values.size()), values.data(), nullptr,
                        nullptr, 0);
}

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

int RunPostgresql(const std::string& uri, const Query& persons, const Query& month) {
  PGconn* conn = PQconnectdb(uri.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    return Fail(message);
  }
  Totals totals;
  PGresult* prepared = PQprepare(conn, "list", Numbered(persons.sql).c_str(), 0, nullptr);
  bool ok = PQresultStatus(prepared) == PGRES_COMMAND_OK;
  PQclear(prepared);
  prepared = PQprepare(conn, "month", Numbered(month.sql).c_str(), 0, nullptr);
  ok = ok && PQresultStatus(prepared) == PGRES_COMMAND_OK;
  PQclear(prepared);
  if (ok) {
    PGresult* list = PgRun(conn, "list", persons.params);
    ok = PQresultStatus(list) == PGRES_TUPLES_OK;
    PgRows(list, totals);
    std::vector<SqlParam> params = month.params;
    for (int r = 0; ok && r < PQntuples(list); ++r) {
      params[0] = SqlParam::Integer(std::stoll(PQgetvalue(list, r, 0)));
      PGresult* plans = PgRun(conn, "month", params);
      ok = PQresultStatus(plans) == PGRES_TUPLES_OK;
      PgRows(plans, totals);
      PQclear(plans);
    }
    PQclear(list);
  }
  if (!ok) {
    const std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    return Fail(message);
  }
  PQfinish(conn);
  std::printf("%llu rows, %llu bytes\n", static_cast<unsigned long long>(totals.rows),
              static_cast<unsigned long long>(totals.bytes));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: store_floor CONN DATE");
  const std::string connection = argv[1];
  const std::optional<DateTime> date = DateTime::Parse(argv[2]);
  if (!date) return Fail(std::string("cannot read '") + argv[2] + "' as a date");
  const DateTime first = DateTime::FromCivil(date->year(), date->month(), 1);
  const DateTime last =
      DateTime::FromCivil(date->year(), date->month(), ostrand::DaysInMonth(date->year(), date->month()));
  try {
    const ostrand::store::ConnectionTarget target = ostrand::store::ParseConnectionString(connection);
    const ostrand::store::Engine engine = target.backend == ostrand::store::Backend::kPostgresql
                                              ? ostrand::store::Engine::kPostgresql
                                              : ostrand::store::Engine::kSqlite;
    const Query persons = Prepared(ostrand::views::PersonListSql("1", "1=1"), engine);
    // The first person's query; each person binds its own id.
    const Query month = Prepared(ostrand::views::PersonMonthSql("1", first, last), engine);
    if (month.params.empty() || month.params[0].kind() != SqlParam::Kind::kInteger) {
      return Fail("the person id of the month query is not a parameter");
    }
    if (target.backend == ostrand::store::Backend::kPostgresql) {
      return RunPostgresql(target.database, persons, month);
    }
    return RunSqlite(target.database, persons, month);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}

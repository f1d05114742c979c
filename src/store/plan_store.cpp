#include "store/plan_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/date.h"
#include "core/error.h"
#include "core/text.h"
#include "store/connection_string.h"
#include "store/dialect.h"

namespace ostrand::store {
namespace {

// Opening a missing path would make SQLite create an empty database there;
// the store must report the mistake instead. The file itself is never
// opened here: on POSIX, closing any descriptor of a file drops every lock
// the process holds on it, SQLite's included, which corrupts a database in
// use by another connection of this process.
void CheckDatabaseFile(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    throw Error("database file '" + path + "' does not exist");
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw Error("'" + path + "' is not a database file");
  }
  if (::access(path.c_str(), R_OK) != 0) {
    throw Error("cannot read database file '" + path + "'");
  }
}

// Reads a date argument of the day-count function. Besides the forms of
// DateTime::Parse it accepts a fraction of a second, which it ignores.
std::optional<DateTime> ReadDateArgument(std::string_view text) {
  if (std::optional<DateTime> parsed = DateTime::Parse(text)) return parsed;
  const std::size_t colon = text.rfind(':');
  const std::size_t dot = text.rfind('.');
  if (colon == std::string_view::npos || dot == std::string_view::npos || dot < colon) {
    return std::nullopt;
  }
  const std::string_view fraction = TrimWhitespace(text.substr(dot + 1));
  if (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return DateTime::Parse(text.substr(0, dot));
}

// SQL function kSqliteDayDiff(a, b): calendar date of b minus that of a, in
// days; NULL when either is NULL.
void DayDiff(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (argc != 2) {
    sqlite3_result_error(context, "ostrand_daydiff takes 2 arguments", -1);
    return;
  }
  std::int64_t days[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
      sqlite3_result_null(context);
      return;
    }
    const unsigned char* raw = sqlite3_value_text(argv[i]);
    const std::string_view text =
        raw ? std::string_view(reinterpret_cast<const char*>(raw),
                               static_cast<std::size_t>(sqlite3_value_bytes(argv[i])))
            : std::string_view();
    const std::optional<DateTime> date = ReadDateArgument(text);
    if (!date) {
      const std::string message = "cannot read '" + std::string(text) + "' as a date";
      sqlite3_result_error(context, message.c_str(), -1);
      return;
    }
    days[i] = date->day();
  }
  sqlite3_result_int64(context, days[1] - days[0]);
}

Value IntegerValue(long long i) {
  if (i >= std::numeric_limits<std::int32_t>::min() &&
      i <= std::numeric_limits<std::int32_t>::max()) {
    return Value::Int32(static_cast<std::int32_t>(i));
  }
  return Value::Double(static_cast<double>(i));
}


struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

std::string DatabaseMessage(sqlite3* db, const std::string& sql) {
  return "database error: " + std::string(sqlite3_errmsg(db)) + " (in '" + sql + "')";
}

// Compiles the one statement of `sql`. A second statement is refused: the
// component builds its texts from host values, and a value that smuggles in
// "; delete ..." must not run.
Statement Prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, &tail) !=
      SQLITE_OK) {
    throw Error(DatabaseMessage(db, sql));
  }
  Statement statement(raw);
  while (tail != nullptr && *tail != '\0') {
    sqlite3_stmt* extra_raw = nullptr;
    const char* next = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail, -1, &extra_raw, &next);
    const Statement extra(extra_raw);
    if (rc != SQLITE_OK || extra != nullptr) {
      throw Error("a query runs one statement only; refusing the text after it in '" + sql + "'");
    }
    if (next == tail) break;  // only blanks and comments were left
    tail = next;
  }
  if (statement == nullptr) throw Error("no statement in query '" + sql + "'");
  return statement;
}

// One field of the current row. The value's own storage class decides its
// kind; text in a column declared as a date or time becomes a date.
Value ReadField(sqlite3_stmt* statement, int i) {
  switch (sqlite3_column_type(statement, i)) {
    case SQLITE_NULL:
      return Value::Null();
    case SQLITE_INTEGER:
      return IntegerValue(sqlite3_column_int64(statement, i));
    case SQLITE_FLOAT:
      return Value::Double(sqlite3_column_double(statement, i));
    case SQLITE_TEXT: {
      const unsigned char* raw = sqlite3_column_text(statement, i);
      std::string text(raw ? reinterpret_cast<const char*>(raw) : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
      const char* declared = sqlite3_column_decltype(statement, i);
      if (declared == nullptr ||
          !(ContainsNoCase(declared, "date") || ContainsNoCase(declared, "time"))) {
        return Value::Text(std::move(text));
      }
      const std::optional<DateTime> date = ReadDateArgument(text);
      if (!date) {
        throw Error("column '" + std::string(sqlite3_column_name(statement, i)) + "' holds '" +
                    text + "', which is not a date");
      }
      return Value::Date(*date);
    }
    default:
      break;
  }
  throw Error("column '" + std::string(sqlite3_column_name(statement, i)) +
              "' holds binary data, which cannot be read");
}

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

}  // namespace

struct PlanStore::Impl {
  Engine engine = Engine::kSqlite;
  std::unique_ptr<sqlite3, CloseDatabase> sqlite;
};

PlanStore::PlanStore() : impl_(std::make_unique<Impl>()) {}

PlanStore::~PlanStore() = default;

bool PlanStore::IsOpen() const { return impl_->sqlite != nullptr; }

void PlanStore::Close() { impl_->sqlite.reset(); }

void PlanStore::Open(const std::string& connection_string) {
  Close();
  const ConnectionTarget target = ParseConnectionString(connection_string);
  if (!target.in_memory) CheckDatabaseFile(target.database);

  // Without SQLITE_OPEN_CREATE a file that vanished since the check above is
  // still an error rather than a new empty database.
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(target.database.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  // SQLite hands out a handle even when opening fails; it must be closed.
  std::unique_ptr<sqlite3, CloseDatabase> db(raw);
  if (opened != SQLITE_OK) {
    throw Error("cannot open database '" + target.database + "': " +
                (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened)));
  }
  // Wait for a writer in another process instead of failing at once.
  sqlite3_busy_timeout(db.get(), 5000);
  if (sqlite3_create_function_v2(db.get(), std::string(kSqliteDayDiff).c_str(), 2,
                                 SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &DayDiff, nullptr,
                                 nullptr, nullptr) != SQLITE_OK) {
    throw Error("cannot register " + std::string(kSqliteDayDiff) + " on database '" +
                target.database + "': " + sqlite3_errmsg(db.get()));
  }
  // SQLite reads the file lazily; read the schema now so that a file that is
  // not a database fails here rather than at the first query.
  char* message = nullptr;
  if (sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message) !=
      SQLITE_OK) {
    const std::string reason = message ? message : sqlite3_errmsg(db.get());
    sqlite3_free(message);
    throw Error("cannot open database '" + target.database + "': " + reason);
  }
  impl_->engine = target.engine;
  impl_->sqlite = std::move(db);
}

RecordSet PlanStore::Query(const std::string& tsql) {
  if (!IsOpen()) throw Error("no open database connection");
  const std::string sql = TranslateTsqlCached(tsql, impl_->engine);
  sqlite3* const db = impl_->sqlite.get();
  const Statement statement = Prepare(db, sql);
  const int column_count = sqlite3_column_count(statement.get());
  std::vector<std::string> columns;
  columns.reserve(static_cast<std::size_t>(column_count));
  for (int i = 0; i < column_count; ++i) {
    const char* name = sqlite3_column_name(statement.get(), i);
    columns.emplace_back(name ? name : "");
  }
  std::vector<std::vector<Value>> rows;
  for (;;) {
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw Error(DatabaseMessage(db, sql));
    std::vector<Value> values;
    values.reserve(columns.size());
    for (int i = 0; i < column_count; ++i) values.push_back(ReadField(statement.get(), i));
    rows.push_back(std::move(values));
  }
  return RecordSet(std::move(columns), std::move(rows));
}

void PlanStore::Execute(const std::string& sql) {
  if (!IsOpen()) throw Error("no open database connection");
  char* message = nullptr;
  if (sqlite3_exec(impl_->sqlite.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string reason = message ? message : sqlite3_errmsg(impl_->sqlite.get());
    sqlite3_free(message);
    throw Error("database error: " + reason + " (in '" + sql + "')");
  }
}

}  // namespace ostrand::store

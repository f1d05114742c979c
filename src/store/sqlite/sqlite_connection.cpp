#include "store/sqlite/sqlite_connection.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "store/database_error.h"
#include "store/result_cache.h"
#include "store/settings.h"
#include "store/sqlite/day_start.h"
#include "store/statement_cache.h"

namespace ostrand::store {
namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Opening a missing path would make SQLite create an empty database there;
// the mistake is reported instead. The file itself is never opened here.
void CheckDatabaseFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    throw Error("database file '" + path + "' does not exist");
  }
  if (!S_ISREG(info.st_mode)) throw Error("'" + path + "' is not a database file");
  if (::access(path.c_str(), R_OK) != 0) {
    throw Error("cannot read database file '" + path + "'");
  }
}

// SQLite creates the -wal and -shm files with the database file's
// permissions as they are at that moment. When that moment fell into a
// spell in which the database was read-only, they stay read-only after the
// database is writable again, and every later connection can only read.
// Gives such a file, when this user owns it, the database file's
// permissions again.
void AlignSidecarPermissions(const std::string& path) {
  struct stat database {};
  if (::stat(path.c_str(), &database) != 0) return;
  const mode_t wanted = database.st_mode & 0777;
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string sidecar = path + suffix;
    struct stat info {};
    if (::lstat(sidecar.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (info.st_uid != ::geteuid()) continue;
    const mode_t missing_write = (wanted & 0222) & ~info.st_mode;
    if (missing_write != 0) ::chmod(sidecar.c_str(), wanted);
  }
}

// False for a text whose rows may differ without a change to the data: one
// that reads the clock ('now', CURRENT_DATE, date() without a value), asks
// for random values, or reads the connection's own state (changes(),
// last_insert_rowid(), sqlite_ tables). Texts that merely mention such a
// word in a literal or a name are read afresh too, which is only slower.
bool ReadsOnlyData(std::string_view sql) {
  // One pass: only a few letters can start a word of the list.
  const auto at = [sql](std::size_t i, std::string_view word) {
    return sql.size() - i >= word.size() && EqualsNoCase(sql.substr(i, word.size()), word);
  };
  for (std::size_t i = 0; i < sql.size(); ++i) {
    switch (sql[i] | 0x20) {  // ASCII letters in lower case; '(' stays '('
      case 'n':
        if (at(i, "now")) return false;
        break;
      case 'c':
        if (at(i, "current_") || at(i, "changes")) return false;
        break;
      case 'r':
        if (at(i, "random")) return false;
        break;
      case 'l':
        if (at(i, "last_insert")) return false;
        break;
      case 's':
        if (at(i, "sqlite_")) return false;
        break;
      case 'p':
        if (at(i, "pragma")) return false;
        break;
      case '(':
        if (at(i, "()")) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

int CheckedSize(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw Error("text too long for the database");
  }
  return static_cast<int>(text.size());
}

class SqliteConnection final : public Connection {
 public:
  SqliteConnection(std::string path, bool in_memory, Database db)
      : Connection(path), path_(std::move(path)), in_memory_(in_memory), db_(std::move(db)) {}

  ~SqliteConnection() override {
    // Statements go before the database they belong to.
    statements_.Clear();
    begin_.reset();
    commit_.reset();
  }

  Engine engine() const override { return Engine::kSqlite; }

  RecordSet Query(std::string_view sql, std::span<const SqlParam> params) override {
    sqlite3_stmt* const statement = Run(sql, params);
    const Reset reset{statement};
    return ReadRows(statement, sql);
  }

  RecordSet QueryStored(std::string_view sql, std::span<const SqlParam> params) override {
    if (!Keeps()) return Query(sql, params);
    std::string key = ResultCache::Key(sql, params);
    if (ResultCache::Table table = results_.Find(key)) return RecordSet(std::move(table));
    sqlite3_stmt* const statement = Run(sql, params);
    const Reset reset{statement};
    RecordSet rows = ReadRows(statement, sql);
    // Only texts kept before are found above: the text is checked once.
    if (sqlite3_stmt_readonly(statement) != 0 && ReadsOnlyData(sql)) {
      results_.Insert(std::move(key), rows.table());
    }
    return rows;
  }

  std::int64_t Execute(std::string_view sql, std::span<const SqlParam> params) override {
    sqlite3_stmt* const statement = Run(sql, params);
    const Reset reset{statement};
    for (int rc = first_step_; rc != SQLITE_DONE; rc = sqlite3_step(statement)) {
      if (rc != SQLITE_ROW) Fail(rc, sql);
    }
    return sqlite3_changes64(db_.get());
  }

  void ExecuteScript(std::string_view script) override { Exec(std::string(script)); }

  void Begin() override { Exec("BEGIN IMMEDIATE"); }
  void Commit() override { Exec("COMMIT"); }
  void Rollback() noexcept override {
    reads_open_ = false;
    if (sqlite3_get_autocommit(db_.get()) == 0) {
      results_.Clear();
      sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }

  bool has_day_start_function() const override { return true; }

  void BeginReads() override {
    if (reads_open_ || sqlite3_get_autocommit(db_.get()) == 0) return;
    // A deferred BEGIN takes the read lock at the first query.
    if (StepKept(begin_, "BEGIN") == SQLITE_DONE) reads_open_ = true;
  }

  void EndReads() noexcept override {
    if (!reads_open_) return;
    reads_open_ = false;
    if (sqlite3_get_autocommit(db_.get()) == 0) {
      // Nothing was written: COMMIT only lets go of the read lock.
      if (StepKept(commit_, "COMMIT") != SQLITE_DONE) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      }
    }
  }

  void StartUse() override {
    pooled_ = true;
    checked_ = false;
  }

  bool IsUsable() override {
    if (broken()) return false;
    // Opened read-only while the file could not be written, and writable
    // now: a fresh connection can write.
    return in_memory_ || sqlite3_db_readonly(db_.get(), "main") != 1 ||
           ::access(path_.c_str(), W_OK) != 0;
  }

 private:
  struct Reset {
    sqlite3_stmt* statement;
    ~Reset() {
      sqlite3_reset(statement);
      sqlite3_clear_bindings(statement);
    }
  };

  // Runs one of the read snapshot's own statements, prepared into `kept`
  // the first time (they run around every page), and returns its step's
  // result; an error when it cannot be prepared. Never throws.
  int StepKept(Statement& kept, const char* sql) noexcept {
    if (kept == nullptr) {
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v3(db_.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
      kept.reset(raw);
      if (rc != SQLITE_OK || kept == nullptr) return SQLITE_ERROR;
    }
    const int rc = sqlite3_step(kept.get());
    sqlite3_reset(kept.get());
    return rc;
  }

  // Reads every row of a statement whose first step has run.
  RecordSet ReadRows(sqlite3_stmt* statement, std::string_view sql) {
    const int column_count = sqlite3_column_count(statement);
    std::vector<std::string> columns;
    columns.reserve(static_cast<std::size_t>(column_count));
    // Text in a column declared as a date or time reads as a date.
    std::vector<bool> dates(static_cast<std::size_t>(column_count));
    for (int i = 0; i < column_count; ++i) {
      const char* name = sqlite3_column_name(statement, i);
      columns.emplace_back(name ? name : "");
      const char* declared = sqlite3_column_decltype(statement, i);
      dates[static_cast<std::size_t>(i)] =
          declared != nullptr &&
          (ContainsNoCase(declared, "date") || ContainsNoCase(declared, "time"));
    }
    std::vector<std::vector<Value>> rows;
    for (int rc = first_step_; rc != SQLITE_DONE; rc = sqlite3_step(statement)) {
      if (rc != SQLITE_ROW) Fail(rc, sql);
      std::vector<Value> values;
      values.reserve(columns.size());
      for (int i = 0; i < column_count; ++i) {
        values.push_back(ReadField(statement, i, dates[static_cast<std::size_t>(i)]));
      }
      rows.push_back(std::move(values));
    }
    return RecordSet(std::move(columns), std::move(rows));
  }

  // Whether what is read now may be kept, with the kept rows and values
  // checked against the data version once per use. Within a transaction the
  // rows may be this connection's own writes, not yet committed: they are
  // read afresh. A connection outside a pool (a command's one call) would
  // check for changes at every query and seldom meet a text twice: it
  // keeps nothing.
  bool Keeps() {
    if (!pooled_ || (sqlite3_get_autocommit(db_.get()) == 0 && !reads_open_)) return false;
    if (!checked_) {
      results_.Validate(DataVersion());
      checked_ = true;
    }
    return true;
  }

  std::shared_ptr<const void> FindKeptValue(std::string_view name) override {
    return Keeps() ? results_.FindValue(name) : nullptr;
  }

  void KeepValue(std::string_view name, std::shared_ptr<const void> value) override {
    if (Keeps()) results_.InsertValue(std::string(name), std::move(value));
  }

  // The data version of the main database (PRAGMA data_version): it changes
  // whenever another connection, of this process or another, commits a
  // change. This connection's own writes clear the result cache instead.
  std::int64_t DataVersion() {
    sqlite3_stmt* const statement = Run("PRAGMA data_version", {});
    const Reset reset{statement};
    if (first_step_ != SQLITE_ROW) Fail(SQLITE_ERROR, "PRAGMA data_version", "no data version");
    return sqlite3_column_int64(statement, 0);
  }

  // Prepares (or finds) the statement, binds the values and takes its
  // first step, whose result lands in first_step_.
  sqlite3_stmt* Run(std::string_view sql, std::span<const SqlParam> params) {
    sqlite3_stmt* statement = nullptr;
    if (Statement* cached = statements_.Find(sql)) {
      statement = cached->get();
    } else {
      statement = statements_.Insert(sql, Prepare(sql)).get();
    }
    // A statement that writes ends a read snapshot (it commits on its own,
    // as without one) and makes the rows kept so far stale.
    if (sqlite3_stmt_readonly(statement) == 0) {
      EndReads();
      results_.Clear();
    }
    const int expected = sqlite3_bind_parameter_count(statement);
    if (expected != static_cast<int>(params.size())) {
      throw DatabaseError::Statement(
          std::to_string(params.size()) + " values for " + std::to_string(expected) + " parameters",
          std::string(sql));
    }
    int index = 1;
    for (const SqlParam& param : params) Bind(statement, index++, param, sql);
    first_step_ = sqlite3_step(statement);
    if (first_step_ != SQLITE_ROW && first_step_ != SQLITE_DONE) {
      const int rc = first_step_;
      sqlite3_reset(statement);
      sqlite3_clear_bindings(statement);
      Fail(rc, sql);
    }
    return statement;
  }

  // Compiles the one statement of `sql`. A second statement is refused: the
  // component builds its texts from host values, and a value that smuggles
  // in "; delete ..." must not run.
  Statement Prepare(std::string_view sql) {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db_.get(), sql.data(), CheckedSize(sql),
                                      SQLITE_PREPARE_PERSISTENT, &raw, &tail);
    Statement statement(raw);
    if (rc != SQLITE_OK) Fail(rc, sql);
    const char* const end = sql.data() + sql.size();
    while (tail != nullptr && tail < end) {
      sqlite3_stmt* extra_raw = nullptr;
      const char* next = nullptr;
      const int extra_rc =
          sqlite3_prepare_v2(db_.get(), tail, static_cast<int>(end - tail), &extra_raw, &next);
      const Statement extra(extra_raw);
      if (extra_rc != SQLITE_OK || extra != nullptr) {
        throw DatabaseError::Statement(
            "a query runs one statement only; refusing the text after it", std::string(sql));
      }
      if (next == tail) break;  // only blanks and comments were left
      tail = next;
    }
    if (statement == nullptr) throw DatabaseError::Statement("no statement", std::string(sql));
    return statement;
  }

  void Bind(sqlite3_stmt* statement, int index, const SqlParam& param, std::string_view sql) {
    int rc = SQLITE_OK;
    switch (param.kind()) {
      case SqlParam::Kind::kNull:
        rc = sqlite3_bind_null(statement, index);
        break;
      case SqlParam::Kind::kInteger:
        rc = sqlite3_bind_int64(statement, index, param.integer());
        break;
      case SqlParam::Kind::kReal:
        rc = sqlite3_bind_double(statement, index, param.real());
        break;
      case SqlParam::Kind::kText:
        // The value outlives the statement's run: bindings are cleared after it.
        rc = sqlite3_bind_text(statement, index, param.text().data(), CheckedSize(param.text()),
                               SQLITE_STATIC);
        break;
      case SqlParam::Kind::kDate:
      case SqlParam::Kind::kTimestamp: {
        const std::string text = DateParamText(param);
        rc = sqlite3_bind_text(statement, index, text.data(), CheckedSize(text), SQLITE_TRANSIENT);
        break;
      }
    }
    if (rc != SQLITE_OK) Fail(rc, sql);
  }

  // One field of the current row. The value's own storage class decides its
  // kind; text in a column declared as a date or time becomes a date.
  static Value ReadField(sqlite3_stmt* statement, int i, bool date_column) {
    switch (sqlite3_column_type(statement, i)) {
      case SQLITE_NULL:
        return Value::Null();
      case SQLITE_INTEGER:
        return IntegerValue(sqlite3_column_int64(statement, i));
      case SQLITE_FLOAT:
        return Value::Double(sqlite3_column_double(statement, i));
      case SQLITE_TEXT: {
        const unsigned char* raw = sqlite3_column_text(statement, i);
        const std::string_view text(raw ? reinterpret_cast<const char*>(raw) : "",
                                    static_cast<std::size_t>(sqlite3_column_bytes(statement, i)));
        if (!date_column) return Value::Text(std::string(text));
        const std::optional<DateTime> date = ReadStoredDateTime(text);
        if (!date) {
          throw Error("column '" + std::string(sqlite3_column_name(statement, i)) + "' holds '" +
                      std::string(text) + "', which is not a date");
        }
        return Value::Date(*date);
      }
      default:
        break;
    }
    throw Error("column '" + std::string(sqlite3_column_name(statement, i)) +
                "' holds binary data, which cannot be read");
  }

  // Runs statements that may write (scripts, BEGIN, COMMIT).
  void Exec(const std::string& sql) {
    EndReads();
    results_.Clear();
    char* message = nullptr;
    const int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return;
    const std::string reason = message ? message : sqlite3_errmsg(db_.get());
    sqlite3_free(message);
    Fail(rc, sql, reason);
  }

  [[noreturn]] void Fail(int rc, std::string_view sql) { Fail(rc, sql, sqlite3_errmsg(db_.get())); }

  // Reports a failure: a database that is busy or cannot be written now is
  // unavailable (and a read-only one breaks the connection, which must be
  // opened again to write); anything else refused the statement.
  [[noreturn]] void Fail(int rc, std::string_view sql, const std::string& reason) {
    switch (rc & 0xff) {
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        throw DatabaseError::Unavailable("database '" + path_ + "' is busy: " + reason);
      case SQLITE_READONLY:
        MarkBroken();
        throw DatabaseError::Unavailable("database '" + path_ +
                                         "' cannot be written now: " + reason);
      case SQLITE_IOERR:
      case SQLITE_CANTOPEN:
      case SQLITE_FULL:
        MarkBroken();
        throw DatabaseError::Unavailable("database '" + path_ + "' cannot be used now: " + reason);
      case SQLITE_CORRUPT:
      case SQLITE_NOTADB:
        MarkBroken();
        break;
      default:
        break;
    }
    throw DatabaseError::Statement(reason, std::string(sql));
  }

  std::string path_;
  bool in_memory_;
  Database db_;
  StatementCache<Statement> statements_;
  // The read snapshot's BEGIN and COMMIT, once prepared.
  Statement begin_;
  Statement commit_;
  ResultCache results_;
  // Whether a pool lends this connection (StartUse), and whether the data
  // version was read since it was last lent.
  bool pooled_ = false;
  // Whether BeginReads opened a transaction that only reads.
  bool reads_open_ = false;
  bool checked_ = false;
  int first_step_ = SQLITE_DONE;
};

}  // namespace

std::unique_ptr<Connection> OpenSqlite(const std::string& path, bool create) {
  const bool in_memory = path == ":memory:";
  if (!in_memory) {
    if (!create) CheckDatabaseFile(path);
    AlignSidecarPermissions(path);
  }
  // Without SQLITE_OPEN_CREATE a file that vanished since the check above is
  // still an error rather than a new empty database.
  // A connection is used by one thread at a time: it needs no lock of its own.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  // SQLite hands out a handle even when opening fails; it must be closed.
  Database db(raw);
  if (opened != SQLITE_OK) {
    throw Error("cannot open database '" + path +
                "': " + (db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(opened)));
  }
  // Wait for a writer in another process instead of failing at once.
  sqlite3_busy_timeout(db.get(), static_cast<int>(kBusyTimeout.count()));
  sqlite3_extended_result_codes(db.get(), 1);
  if (const int rc = RegisterDayStart(db.get()); rc != SQLITE_OK) {
    throw Error("cannot open database '" + path + "': " + sqlite3_errstr(rc));
  }
  // SQLite reads the file lazily; read the schema now so that a file that is
  // not a database fails here rather than at the first query.
  char* message = nullptr;
  if (sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message) !=
      SQLITE_OK) {
    const std::string reason = message ? message : sqlite3_errmsg(db.get());
    sqlite3_free(message);
    throw Error("cannot open database '" + path + "': " + reason);
  }
  return std::make_unique<SqliteConnection>(path, in_memory, std::move(db));
}

}  // namespace ostrand::store

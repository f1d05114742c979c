#include "store/odbc/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>

#include <charconv>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "store/database_error.h"
#include "store/odbc/odbc_handles.h"
#include "store/odbc/odbc_values.h"
#include "store/settings.h"
#include "store/sql_lexer.h"
#include "store/statement_cache.h"

namespace ostrand::store {
namespace {

using namespace odbc;

Engine EngineOfDbms(std::string_view dbms) {
  if (ContainsNoCase(dbms, "postgres")) return Engine::kPostgresql;
  if (ContainsNoCase(dbms, "sqlite")) return Engine::kSqlite;
  return Engine::kSqlServer;
}

struct PreparedStatement {
  StatementHandle handle;
  SQLSMALLINT parameters = 0;
};

class OdbcConnection final : public Connection {
 public:
  // `dbc` is connected; the connection disconnects it when it goes.
  OdbcConnection(std::string name, Environment env, ConnectionHandle dbc, Engine engine)
      : Connection(std::move(name)),
        env_(std::move(env)),
        dbc_handle_(std::move(dbc)),
        dbc_(dbc_handle_.get()),
        engine_(engine) {}

  ~OdbcConnection() override {
    statements_.Clear();
    if (in_transaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
  }

  Engine engine() const override { return engine_; }

  RecordSet Query(std::string_view sql, std::span<const SqlParam> params) override {
    SQLHSTMT statement = Run(sql, params);
    RecordSet rows = ReadRows(statement, sql);
    SQLFreeStmt(statement, SQL_CLOSE);
    return rows;
  }

  std::int64_t Execute(std::string_view sql, std::span<const SqlParam> params) override {
    SQLHSTMT statement = Run(sql, params);
    SQLLEN changed = 0;
    if (!Succeeded(SQLRowCount(statement, &changed))) changed = 0;
    SQLFreeStmt(statement, SQL_CLOSE);
    return changed < 0 ? 0 : changed;
  }

  std::int64_t InsertReturningId(std::string_view insert_sql, std::span<const SqlParam> params,
                                 std::string_view id_column) override {
    if (engine_ != Engine::kSqlite) {
      return Connection::InsertReturningId(insert_sql, params, id_column);
    }
    // The SQLite driver runs an INSERT without handing out its RETURNING
    // rows; the connection's last row id is the same value.
    Execute(insert_sql, params);
    const RecordSet id = Query("SELECT last_insert_rowid()", {});
    const std::optional<std::int64_t> value =
        id.Eof() ? std::nullopt : ExactInteger(id.Field(std::size_t{0}));
    if (!value) throw DatabaseError::Statement("the insert returned no id", std::string(insert_sql));
    return *value;
  }

  void ExecuteScript(std::string_view script) override {
    for (const std::string_view statement : SplitSqlStatements(script)) {
      StatementHandle handle = NewStatement();
      const std::string text(statement);
      const SQLRETURN rc = SQLExecDirect(handle.get(), Chars(text), SQL_NTS);
      if (!Succeeded(rc) && rc != SQL_NO_DATA) Fail(SQL_HANDLE_STMT, handle.get(), text);
    }
  }

  void Begin() override {
    if (in_transaction_) {
      throw DatabaseError::Statement("a transaction is already open", "BEGIN");
    }
    Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc_, "BEGIN");
    in_transaction_ = true;
  }

  void Commit() override {
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
    if (!Succeeded(rc)) {
      const Diagnostics diagnostics = Diagnose(SQL_HANDLE_DBC, dbc_);
      Rollback();
      Report(diagnostics, "COMMIT");
    }
    EndTransaction();
  }

  void Rollback() noexcept override {
    if (!in_transaction_) return;
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    EndTransaction();
  }

  bool IsUsable() override {
    if (broken()) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (Succeeded(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE) {
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - last_used_ < kPoolPingAfterIdle) return true;
    try {
      ExecuteScript("SELECT 1");
      return true;
    } catch (const Error&) {
      return false;
    }
  }

 private:
  static SQLCHAR* Chars(const std::string& text) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
  }

  StatementHandle NewStatement() {
    last_used_ = std::chrono::steady_clock::now();
    SQLHANDLE raw = SQL_NULL_HANDLE;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &raw), SQL_HANDLE_DBC, dbc_, "");
    return StatementHandle(raw);
  }

  void EndTransaction() noexcept {
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      SQL_IS_UINTEGER);
    in_transaction_ = false;
  }

  // Prepares (or finds) the statement, binds the values and executes it.
  SQLHSTMT Run(std::string_view sql, std::span<const SqlParam> params) {
    PreparedStatement* statement = statements_.Find(sql);
    if (statement == nullptr) statement = &statements_.Insert(sql, Prepare(sql));
    SQLHSTMT handle = statement->handle.get();
    SQLFreeStmt(handle, SQL_CLOSE);
    SQLFreeStmt(handle, SQL_RESET_PARAMS);
    if (statement->parameters != static_cast<SQLSMALLINT>(params.size())) {
      throw DatabaseError::Statement(std::to_string(params.size()) + " values for " +
                                         std::to_string(statement->parameters) + " parameters",
                                     std::string(sql));
    }
    bound_.assign(params.size(), BoundValue{});
    for (std::size_t i = 0; i < params.size(); ++i) Bind(handle, i, params[i], sql);
    const SQLRETURN rc = SQLExecute(handle);
    if (!Succeeded(rc) && rc != SQL_NO_DATA) Fail(SQL_HANDLE_STMT, handle, sql);
    return handle;
  }

  PreparedStatement Prepare(std::string_view sql) {
    // A driver may run every statement of a text; the component's texts
    // are built from host values, and a smuggled "; delete ..." must not run.
    if (SplitSqlStatements(sql).size() > 1) {
      throw DatabaseError::Statement(
          "a query runs one statement only; refusing the text after it", std::string(sql));
    }
    PreparedStatement statement;
    statement.handle = NewStatement();
    const std::string text(sql);
    if (!Succeeded(SQLPrepare(statement.handle.get(), Chars(text), SQL_NTS))) {
      Fail(SQL_HANDLE_STMT, statement.handle.get(), sql);
    }
    // Counted here, as drivers differ in whether SQLNumParams may be asked
    // before execution.
    for (const SqlToken& t : TokenizeSql(sql)) {
      if (t.kind == SqlTokenKind::kPunct && t.text == "?") ++statement.parameters;
    }
    return statement;
  }

  void Bind(SQLHSTMT handle, std::size_t i, const SqlParam& param, std::string_view sql) {
    const SQLRETURN rc =
        BindValue(handle, static_cast<SQLUSMALLINT>(i + 1), param, engine_, bound_[i]);
    if (!Succeeded(rc)) Fail(SQL_HANDLE_STMT, handle, sql);
  }

  RecordSet ReadRows(SQLHSTMT statement, std::string_view sql) {
    SQLSMALLINT count = 0;
    if (!Succeeded(SQLNumResultCols(statement, &count))) Fail(SQL_HANDLE_STMT, statement, sql);
    std::vector<std::string> names;
    std::vector<Reading> readings;
    for (SQLSMALLINT c = 1; c <= count; ++c) {
      SQLCHAR name[256] = {};
      SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      if (!Succeeded(SQLDescribeCol(statement, c, name, sizeof name, &name_length, &type, &size,
                                    &digits, &nullable))) {
        Fail(SQL_HANDLE_STMT, statement, sql);
      }
      names.emplace_back(reinterpret_cast<const char*>(name));
      readings.push_back(ReadingOf(type));
    }
    std::vector<std::vector<Value>> rows;
    if (count == 0) return RecordSet(std::move(names), std::move(rows));
    for (;;) {
      const SQLRETURN rc = SQLFetch(statement);
      if (rc == SQL_NO_DATA) break;
      if (!Succeeded(rc)) Fail(SQL_HANDLE_STMT, statement, sql);
      std::vector<Value> row;
      row.reserve(names.size());
      for (SQLSMALLINT c = 1; c <= count; ++c) {
        row.push_back(ReadField(statement, c, readings[c - 1], names[c - 1], sql));
      }
      rows.push_back(std::move(row));
    }
    return RecordSet(std::move(names), std::move(rows));
  }

  Value ReadField(SQLHSTMT statement, SQLUSMALLINT column, Reading reading,
                  const std::string& name, std::string_view sql) {
    SQLLEN indicator = 0;
    switch (reading) {
      case Reading::kInteger: {
        std::int64_t i = 0;
        Check(SQLGetData(statement, column, SQL_C_SBIGINT, &i, sizeof i, &indicator),
              SQL_HANDLE_STMT, statement, sql);
        return indicator == SQL_NULL_DATA ? Value::Null() : IntegerValue(i);
      }
      case Reading::kReal: {
        double d = 0;
        Check(SQLGetData(statement, column, SQL_C_DOUBLE, &d, sizeof d, &indicator),
              SQL_HANDLE_STMT, statement, sql);
        return indicator == SQL_NULL_DATA ? Value::Null() : Value::Double(d);
      }
      case Reading::kDate: {
        // As text, so that every driver's form (and a text that is no date
        // in an SQLite file) reads as it does when reached directly.
        const std::optional<std::string> text = ReadText(statement, column, false, sql);
        if (!text) return Value::Null();
        if (const std::optional<DateTime> date = ReadStoredDateTime(*text)) {
          return Value::Date(*date);
        }
        throw Error("column '" + name + "' holds '" + *text + "', which is not a date");
      }
      case Reading::kDecimal: {
        const std::optional<std::string> text = ReadText(statement, column, false, sql);
        if (!text) return Value::Null();
        std::int64_t i = 0;
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), i);
        if (error == std::errc() && end == text->data() + text->size()) return IntegerValue(i);
        double d = 0;
        if (ParseNumber(*text, &d)) return Value::Double(d);
        return Value::Text(*text);
      }
      case Reading::kWideText:
      case Reading::kText: {
        std::optional<std::string> text =
            ReadText(statement, column, reading == Reading::kWideText, sql);
        return text ? Value::Text(std::move(*text)) : Value::Null();
      }
      case Reading::kBinary:
        break;
    }
    throw Error("column '" + name + "' holds binary data, which cannot be read");
  }

  // The column's text in pieces as long as the driver hands it out; nothing
  // for NULL.
  std::optional<std::string> ReadText(SQLHSTMT statement, SQLUSMALLINT column, bool wide,
                                      std::string_view sql) {
    if (wide) {
      std::vector<SQLWCHAR> units;
      SQLWCHAR buffer[512];
      for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(statement, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!Succeeded(rc)) Fail(SQL_HANDLE_STMT, statement, sql);
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        const std::size_t capacity = sizeof buffer / sizeof buffer[0] - 1;
        const std::size_t got =
            indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) >
                                             capacity
                ? capacity
                : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
        units.insert(units.end(), buffer, buffer + got);
        if (rc == SQL_SUCCESS) break;
      }
      return Utf8FromUtf16(units);
    }
    std::string text;
    char buffer[2048];
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer,
                                      &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!Succeeded(rc)) Fail(SQL_HANDLE_STMT, statement, sql);
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      const std::size_t capacity = sizeof buffer - 1;
      const std::size_t got =
          indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > capacity
              ? capacity
              : static_cast<std::size_t>(indicator);
      text.append(buffer, got);
      if (rc == SQL_SUCCESS) break;
    }
    return text;
  }

  void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, std::string_view sql) {
    if (!Succeeded(rc)) Fail(type, handle, sql);
  }

  [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::string_view sql) {
    Report(Diagnose(type, handle), sql);
  }

  [[noreturn]] void Report(const Diagnostics& diagnostics, std::string_view sql) {
    if (IsConnectionFailure(diagnostics.states)) {
      MarkBroken();
      throw DatabaseError::Unavailable("database '" + name() +
                                       "' is unavailable: " + diagnostics.message);
    }
    throw DatabaseError::Statement(diagnostics.message, std::string(sql));
  }

  Environment env_;
  ConnectionHandle dbc_handle_;  // freed after the statements, before env_
  SQLHDBC dbc_;
  Engine engine_;
  bool in_transaction_ = false;
  std::chrono::steady_clock::time_point last_used_ = std::chrono::steady_clock::now();
  std::vector<BoundValue> bound_;
  // After dbc_: statements are freed before the connection.
  StatementCache<PreparedStatement> statements_;
};

}  // namespace

std::unique_ptr<Connection> OpenOdbc(const std::string& attributes, const std::string& name) {
  SQLHANDLE raw_env = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw_env))) {
    throw DatabaseError::Unavailable("cannot connect to '" + name +
                                     "': the ODBC driver manager cannot start");
  }
  Environment env(raw_env);
  SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHANDLE raw_dbc = SQL_NULL_HANDLE;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &raw_dbc))) {
    throw DatabaseError::Unavailable("cannot connect to '" + name + "': " +
                                     Diagnose(SQL_HANDLE_ENV, env.get()).message);
  }
  ConnectionHandle dbc(raw_dbc);
  const auto timeout = static_cast<SQLULEN>(kConnectTimeout.count());
  SQLSetConnectAttr(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
  SQLSetConnectAttr(dbc.get(), SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout),
                    0);
  std::string text = attributes;
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnect(dbc.get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                        SQL_NTS, nullptr, 0, &out_length, SQL_DRIVER_NOPROMPT);
  if (!Succeeded(rc)) {
    throw DatabaseError::Unavailable("cannot connect to '" + name +
                                     "': " + Diagnose(SQL_HANDLE_DBC, dbc.get()).message);
  }
  SQLCHAR dbms[256] = {};
  SQLSMALLINT dbms_length = 0;
  SQLGetInfo(dbc.get(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbms_length);
  const Engine engine = EngineOfDbms(reinterpret_cast<const char*>(dbms));
  return std::make_unique<OdbcConnection>(name, std::move(env), std::move(dbc), engine);
}

}  // namespace ostrand::store

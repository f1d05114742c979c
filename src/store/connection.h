// Connection: one open connection to a schedule database, whatever the
// engine behind it (SQLite, PostgreSQL, or a database behind ODBC). Every
// reader and writer of the program goes through this interface: the
// component's PlanStore, the web host's accounts, persons and editor
// writes, schema creation and the demo writer.
//
// Statements are written in the engine's own dialect (engine() says which)
// with '?' placeholders for their values. Each connection prepares a
// statement text once and keeps it (store/statement_cache.h), so a text
// that runs again is only bound and executed.
//
// Every failure throws DatabaseError (store/database_error.h): a refused
// statement names its text; a database that is gone, busy or turned
// read-only is reported as unavailable and marks the connection broken(),
// so that a pool replaces it. A Connection is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/value.h"
#include "store/dialect.h"
#include "store/record_set.h"
#include "store/sql_param.h"
#include "store/statement_cache.h"

namespace ostrand::store {

class Connection {
 public:
  virtual ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The dialect the database speaks.
  virtual Engine engine() const = 0;

  // Runs one statement and reads all its rows. Values keep their kinds:
  // integers as int32 (as a double beyond that, as text beyond what a
  // double prints exactly), reals as double, dates and times as dates, NULL
  // as null, text as UTF-8 text. Throws DatabaseError when the database
  // refuses the statement or when the text holds a second statement.
  virtual RecordSet Query(std::string_view sql, std::span<const SqlParam> params = {}) = 0;

  // As Query, for a SELECT whose rows depend on nothing but the stored data
  // (no clock, no random values). A pooled connection whose backend can
  // tell that nothing was written to the database since it last ran the
  // same text with the same values may hand out those rows again (SQLite
  // does; the others run the query). Throws as Query.
  virtual RecordSet QueryStored(std::string_view sql, std::span<const SqlParam> params = {}) {
    return Query(sql, params);
  }

  // A value that `make` makes from what this connection reads, kept under
  // `name` beside the rows QueryStored keeps: until the database changes,
  // a pooled connection that keeps rows hands out the same value again
  // rather than calling `make` (the other backends call it every time).
  // One name holds one type T; the value is shared and never changed.
  // Throws what `make` throws, and keeps nothing then.
  template <class T, class Make>
  std::shared_ptr<const T> KeptValue(std::string_view name, Make&& make) {
    if (std::shared_ptr<const void> kept = FindKeptValue(name)) {
      return std::static_pointer_cast<const T>(std::move(kept));
    }
    auto value = std::make_shared<const T>(std::forward<Make>(make)());
    KeepValue(name, value);
    return value;
  }

  // Reads in one snapshot until EndReads: the engine takes its read lock
  // once instead of once per query, and every query sees the database as it
  // was at the first of them. A write (Execute, a script, Begin, a statement
  // that writes) ends the snapshot first, so writes commit as they would
  // without one. SQLite only; the other backends read as before. EndReads
  // never throws.
  virtual void BeginReads() {}
  virtual void EndReads() noexcept {}

  // Called by a pool when it lends the connection to a new user. From then
  // on QueryStored checks whether the database changed once, at its first
  // call in each use: the user reads the data as it was when it took the
  // connection, or newer. A connection outside a pool keeps no rows.
  virtual void StartUse() {}

  // Runs one statement that returns no rows; returns how many rows it
  // inserted, changed or deleted.
  virtual std::int64_t Execute(std::string_view sql, std::span<const SqlParam> params = {}) = 0;

  // Runs an INSERT of one row (a text "INSERT INTO t (...) VALUES (...)")
  // and returns the value the database gave its `id_column`, in the way the
  // engine offers (RETURNING, OUTPUT INSERTED). Throws DatabaseError as
  // Query does.
  virtual std::int64_t InsertReturningId(std::string_view insert_sql,
                                         std::span<const SqlParam> params,
                                         std::string_view id_column);

  // Runs a script of statements separated by ';' (no parameters, no rows),
  // such as a schema. Statements before a failing one stay done unless a
  // transaction is open.
  virtual void ExecuteScript(std::string_view script) = 0;

  // A transaction for writes; see Transaction below for the guard. Begin
  // throws DatabaseError when a transaction is already open or the database
  // stays locked past its timeout. Rollback never throws.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() noexcept = 0;

  // A cheap check before a pooled connection is handed out again: false
  // when the connection is broken or its database went away (it is closed
  // and replaced then). May do a round trip to a server.
  virtual bool IsUsable() = 0;

  // A component's SQL Server text as this connection runs it: its literal
  // ids and dates lifted into parameters (store/literal_lifting.h) and the
  // shape in the connection's dialect (TranslateTsql).
  struct ComponentQuery {
    std::shared_ptr<const std::string> sql;
    std::vector<SqlParam> params;
  };
  // `tsql` prepared so. Kept per connection: a text seen before is neither
  // lifted nor translated again, and a shape is translated once (at most
  // kComponentTextCacheSize texts and kStatementCacheSize shapes; either set
  // is dropped whole when it is full). The reference stays valid until the
  // next call. Throws what TranslateTsql throws.
  const ComponentQuery& Prepared(const std::string& tsql);

  // True after a failure that leaves the connection unfit for reuse.
  bool broken() const { return broken_; }
  // How messages name the database: a file path, or the connection string
  // with its password hidden.
  const std::string& name() const { return name_; }

 protected:
  explicit Connection(std::string name) : name_(std::move(name)) {}
  void MarkBroken() { broken_ = true; }
  // True when the connection offers ostrand_day_start(x), the value of
  // julianday(x, 'start of day') (store/dialect.h): the translation then uses it.
  virtual bool has_day_start_function() const { return false; }
  // The value kept under `name` for KeptValue, or null (always, unless
  // the backend keeps rows); and the keeping of a value just made.
  virtual std::shared_ptr<const void> FindKeptValue(std::string_view /*name*/) { return nullptr; }
  virtual void KeepValue(std::string_view /*name*/, std::shared_ptr<const void> /*value*/) {}

 private:
  std::string name_;
  bool broken_ = false;
  std::unordered_map<std::string, std::shared_ptr<const std::string>, SqlTextHash,
                     std::equal_to<>>
      translated_;  // by shape
  std::unordered_map<std::string, ComponentQuery, SqlTextHash, std::equal_to<>>
      prepared_;  // by the component's text
};

// A write transaction: Begin on construction, Rollback on destruction
// unless Commit ran. Throws what Begin and Commit throw.
class Transaction {
 public:
  explicit Transaction(Connection& connection) : connection_(connection) { connection_.Begin(); }
  ~Transaction() {
    if (!done_) connection_.Rollback();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit() {
    connection_.Commit();
    done_ = true;
  }

 private:
  Connection& connection_;
  bool done_ = false;
};

// The host value of a database integer: int32 when it fits, a double while
// its decimal text has at most 15 digits (so it prints exactly), and its
// decimal text beyond that, so that no id is ever changed.
Value IntegerValue(std::int64_t i);

// The whole number a value holds (an int32, a double without fraction, or
// text of digits as IntegerValue makes it), or nothing.
std::optional<std::int64_t> ExactInteger(const Value& value);

}  // namespace ostrand::store

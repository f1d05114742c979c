// PlanStore: the one database connection of a Schedulers instance. It is
// created unopened; Open connects it with a connection string, Query runs
// the component's SQL Server texts on whatever engine is behind it and
// reads every row at once.
//
// Query lifts the literal ids and dates out of each text
// (store/literal_lifting.h), translates the resulting shape to the
// engine's dialect once (store/dialect.h) and runs it as a prepared
// statement with the literals bound, so that a text that differs from an
// earlier one only in its ids and dates is never parsed or planned again.
// The debug trace and error messages show the component's own text.
//
// When a ConnectionPool is registered for the connection string
// (store/connection_pool.h), Open leases from it rather than connecting.
// A connection of its own reads one snapshot from Open to Close
// (Connection::BeginReads): a page sees the database as of one moment.
//
// Connection strings: see store/connection_string.h. An SQLite file must
// exist; use CreateSchema (store/schema.h) or `ostrand init-db` to make
// one. A PlanStore is used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "store/connection.h"
#include "store/record_set.h"

namespace ostrand::store {

class PlanStore : public QuerySource {
 public:
  PlanStore();
  ~PlanStore() override;
  PlanStore(const PlanStore&) = delete;
  PlanStore& operator=(const PlanStore&) = delete;

  // Connects, closing any connection held before. Throws Error naming the
  // connection string (its password hidden) when it is empty ("no
  // connection string"), of an unknown form, or the database refuses it;
  // the store then stays unopened and every Query fails.
  void Open(const std::string& connection_string);
  bool IsOpen() const;
  // Disconnects; nothing happens when the store is not open.
  void Close();

  // Runs one text of the component (T-SQL) and reads all rows; values keep
  // their kinds as Connection::Query describes. Throws Error when not open,
  // when a DATEDIFF in the text is malformed, and DatabaseError naming the
  // text when the database refuses it or it holds more than one statement.
  RecordSet Query(const std::string& tsql) override;

  // Runs SQL in the engine's own dialect, untranslated, with no result rows;
  // the text may hold several statements separated by ';'. For hosts that
  // maintain the tables and for tests: the component itself never writes.
  // Throws Error when not open, DatabaseError when a statement fails
  // (statements before the failing one stay done).
  void Execute(const std::string& sql);

  // The open connection. Throws Error when not open.
  Connection& connection();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrand::store

// PlanStore: the one database connection of a Schedulers instance. It is
// created unopened; Open connects it with a connection string, Query runs
// the component's SQL texts (translated to the engine's dialect) and reads
// every row at once.
//
// Connection strings: "sqlite:PATH", a path ending in ".db", or
// "sqlite::memory:" (a new empty database on every Open). The file must
// exist: a missing or unopenable file is an error, not a new empty database.
// Use CreateSqliteDatabase (store/schema.h) to make a new one.
//
// A PlanStore is used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "store/record_set.h"

namespace ostrand::store {

class PlanStore : public QuerySource {
 public:
  PlanStore();
  ~PlanStore() override;
  PlanStore(const PlanStore&) = delete;
  PlanStore& operator=(const PlanStore&) = delete;

  // Connects. Throws Error naming the connection string when it is empty
  // ("no connection string"), of an unknown form, or the database refuses
  // it; the store then stays unopened and every Query fails.
  void Open(const std::string& connection_string);
  bool IsOpen() const;
  // Disconnects; nothing happens when the store is not open.
  void Close();

  // Translates the text to the engine's dialect, runs it and reads all rows.
  // Each value's kind follows what the database holds: integers as int32
  // (double beyond its range), reals as double, text as text (a date when
  // the column is declared as a date or time), NULL as null. Throws Error
  // when not open, when the database reports an error, when the text holds
  // more than one statement, or when a date column holds text that is no
  // date (naming the column and the text).
  RecordSet Query(const std::string& tsql) override;

  // Runs SQL in the engine's own dialect, untranslated, with no result rows;
  // the text may hold several statements separated by ';'. For hosts that
  // maintain the tables and for tests: the component itself never writes.
  // Throws Error with the database's message when not open or when a
  // statement fails (statements before the failing one stay done).
  void Execute(const std::string& sql);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrand::store

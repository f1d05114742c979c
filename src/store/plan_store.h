// PlanStore: the one database connection of a Schedulers instance. It is
// created unopened; Open connects it with a connection string, Query runs
// the component's SQL texts (translated to the engine's dialect) and reads
// every row at once.
//
// Connection strings: "sqlite:PATH", a path ending in ".db", or
// "sqlite::memory:". The file must exist: a missing or unopenable file is an
// error, not a new empty database.
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
  // Throws Error when not open or when the database reports an error.
  RecordSet Query(const std::string& tsql) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrand::store

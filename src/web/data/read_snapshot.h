// ReadSnapshot: a connection reads in one snapshot while the guard lives
// (Connection::BeginReads .. EndReads), so that what a page checks and what
// it then reads belong to one moment. A write on the connection ends the
// snapshot early, as Connection says. Never throws.
#pragma once

#include "store/connection.h"

namespace ostrand::web {

class ReadSnapshot {
 public:
  explicit ReadSnapshot(store::Connection& db) : db_(db) { db_.BeginReads(); }
  ~ReadSnapshot() { db_.EndReads(); }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  store::Connection& db_;
};

}  // namespace ostrand::web

// Writes demo rows (store/demo_data.h) into a database: a new SQLite file,
// or the tables of a database server.
#pragma once

#include <functional>
#include <string>

#include "store/connection.h"
#include "store/demo_data.h"

namespace ostrand::store {

// Writes every row of `data` to the database `target` names, in one
// transaction, and runs `finish` (when given) on the same connection inside
// that transaction, after the rows and before the commit: a host adds its
// own rows there (the sign-in accounts). An exception from `finish`
// propagates and leaves nothing written.
//
// `target` is a file path or "sqlite:PATH": the schema and the rows go into
// a temporary file next to the path first, which then takes the place of
// the path in one step, so a failure leaves no half-written database and a
// file that was there stays as it was. Without `replace`, an existing file
// is never touched (Error naming the path, also when the file appears while
// the rows are written); with it, the file is replaced.
//
// Any other connection string (store/connection_string.h) names an
// existing database: missing tables are created first; without `replace`
// a database whose schedule tables hold rows is refused (Error naming it);
// with it, those rows are deleted in the same transaction.
//
// Throws Error naming the target when it cannot be written.
void WriteDemoDatabase(const DemoData& data, const std::string& target, bool replace,
                       const std::function<void(Connection& db)>& finish = {});

}  // namespace ostrand::store

// DatabaseError: the Error that the database layer throws. It tells apart a
// statement the database refused (the message names the query) from a
// database that cannot be reached or used right now (gone, busy, turned
// read-only), which a web host answers with 503 and which a later attempt
// may get past. A refused statement is of kind kInternal, an unusable
// database of kind kUnavailable.
#pragma once

#include <string>

#include "core/error.h"

namespace ostrand::store {

class DatabaseError : public Error {
 public:
  enum class Cause {
    kStatement,    // the database refused the statement
    kUnavailable,  // the database cannot be reached or written right now
  };

  // A refused statement: "database error: REASON (in 'SQL')", or without the
  // parenthesis when `sql` is empty.
  static DatabaseError Statement(const std::string& reason, const std::string& sql);
  // A database that cannot be used now; the message is `reason` as it is.
  static DatabaseError Unavailable(const std::string& reason);

  Cause cause() const { return cause_; }
  bool unavailable() const { return cause_ == Cause::kUnavailable; }
  // The database's own message, without the query.
  const std::string& reason() const { return reason_; }

 private:
  DatabaseError(Cause cause, const std::string& message, std::string reason)
      : Error(message, cause == Cause::kUnavailable ? ErrorKind::kUnavailable : ErrorKind::kInternal),
        cause_(cause), reason_(std::move(reason)) {}

  Cause cause_;
  std::string reason_;
};

inline DatabaseError DatabaseError::Statement(const std::string& reason, const std::string& sql) {
  std::string message = "database error: " + reason;
  if (!sql.empty()) message += " (in '" + sql + "')";
  return DatabaseError(Cause::kStatement, message, reason);
}

inline DatabaseError DatabaseError::Unavailable(const std::string& reason) {
  return DatabaseError(Cause::kUnavailable, reason, reason);
}

}  // namespace ostrand::store

// The refusal of a calendar write or report that a calendar protocol names:
// an Error with the HTTP status it is answered with and the name of the
// condition that failed (a CalDAV or WebDAV precondition element such as
// "valid-calendar-data", "no-uid-conflict", "max-instances" or
// "valid-sync-token"; empty when the protocol names none). Thrown by the
// readers and stores of calendar objects, answered by the CalDAV server,
// which writes the element into the error body; any other host answers it
// as the Error it is.
#pragma once

#include <string>

#include "core/error.h"

namespace ostrand::feeds {

class ConditionError : public Error {
 public:
  // `status` is 403, 409, 412, 413 or 507; the kind follows from it.
  ConditionError(const std::string& message, int status, std::string condition)
      : Error(message, KindOf(status)), status_(status), condition_(std::move(condition)) {}
  int status() const { return status_; }
  // The element's local name; its namespace is CalDAV's for the
  // calendar conditions and DAV:'s for "valid-sync-token".
  const std::string& condition() const { return condition_; }

 private:
  static ErrorKind KindOf(int status) {
    switch (status) {
      case 409:
      case 412:
        return ErrorKind::kConflict;
      case 413:
      case 507:
        return ErrorKind::kBadInput;
      default:
        return ErrorKind::kForbidden;
    }
  }
  int status_;
  std::string condition_;
};

}  // namespace ostrand::feeds

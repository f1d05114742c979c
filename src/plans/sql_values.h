// Checks on values before they are put into an SQL text. The SQL is built by
// concatenation, so a value that is not what it claims to be is refused
// before any query runs.
#pragma once

#include <string>
#include <string_view>

#include "core/value.h"

namespace ostrand::plans {

// The text of an id (a person or system id) for an SQL text. The value must
// be a number, or text that reads as a number; anything else (empty, null,
// bool, a date, other text such as "1 or 1=1") throws Error
// "invalid <what> '<text>'".
std::string IdForSql(const Value& id, std::string_view what);

// The text of a date for an SQL text. The value must be a date, or text that
// reads as a date; anything else (empty, null, a number, other text) throws
// Error "invalid <what> '<text>'". The text is the value's own text, so a
// date given as text goes into the SQL as given.
std::string DateForSql(const Value& date, std::string_view what);

}  // namespace ostrand::plans

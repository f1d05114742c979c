// Literal lifting: the component's SQL texts differ from call to call only
// in literal ids and dates ("personID=12", "DATEDIFF(dd, planStartTime,
// '2001-12-31')"). LiftLiterals turns those literals into '?' placeholders
// and bound values, so that a connection prepares each shape once and binds
// on every call.
//
// Lifted, and only these:
//  - a whole number that a condition (WHERE, ON, HAVING) compares with a
//    column: "personID=12", "person.dutyID>3"; not "1=1", not "TOP 5", not
//    a number in the select list, in ORDER BY or in arithmetic;
//  - a string literal that reads as a date and is a whole argument of
//    DATEDIFF, bound as a timestamp.
// A text that already holds a '?' placeholder is left as it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/sql_param.h"

namespace ostrand::store {

struct LiftedQuery {
  std::string shape;             // the text with '?' in place of each lifted literal
  std::vector<SqlParam> params;  // the lifted values, in placeholder order
};

// Never throws for any text; a text it does not understand comes back
// unchanged with no parameters.
LiftedQuery LiftLiterals(std::string_view tsql);

}  // namespace ostrand::store

// The label of one person: name and job title joined by a hyphen.
#pragma once

#include <string>

#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::plans {

// "name-duty" of person `pID` from the first row of the person joined with
// the duty; a null name or duty counts as empty text. Both texts are
// HTML-escaped. Returns "未名" (unnamed) when no row matches, also when the
// person exists but the duty id has no duty row.
//
// Throws Error before any query when pID does not read as a number, and
// with the database's message when the query fails.
std::string GetName(store::QuerySource& db, const Value& pID);

}  // namespace ostrand::plans

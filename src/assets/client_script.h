// The client script of the personal views: a script element defining
// manage(dt), which the day cells call when clicked. On the signed-in
// person's own page it opens the day editor manage.asp for that person and
// date; on anybody else's page it does nothing.
#pragma once

#include <functional>
#include <string>

#include "core/value.h"
#include "host/page_context.h"

namespace ostrand::assets {

// The script for the page of person pID, viewed by signedInPersonID (the
// Session item "personID"). The editor line is included only when both read
// as numbers that are equal once rounded down (an empty value counts as 0;
// null never matches); it carries pID's text as given, "rnd" from
// `read_rnd` and the clock's time stamp, both read only in that case. Lines
// end with CR LF, except the editor line, which the closing brace follows
// directly. The script is not escaped: pID has passed the numeric test and
// "rnd" is the host's own token. Throws Error when pID or signedInPersonID
// is text that does not read as a number; errors of read_rnd propagate.
std::string DispScript(const Value& pID, const Value& signedInPersonID,
                       const std::function<Value()>& read_rnd, const host::Clock& clock);

}  // namespace ostrand::assets

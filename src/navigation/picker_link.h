// The arrow link shared by the month and the week picker: it reloads the
// current page for the same person on another date.
#pragma once

#include <string>
#include <string_view>

#include "core/date.h"
#include "navigation/link_stamp.h"

namespace ostrand::navigation {

// Appends "<a href='", the page URL, "?personID=", the person's text,
// "&dt=", the date's text, "&t=", the time stamp, "&rnd=", the Session item
// "rnd", then `closing` (the rest of the anchor, written as given). The time
// stamp and "rnd" are read at this call, in that order. The URL, the person
// and "rnd" come from the request, so they are HTML-escaped; text without
// markup characters comes out unchanged. Errors of the stamp's reads
// propagate; `out` may then hold part of the link.
void AppendPickerLink(std::string& out, std::string_view url, std::string_view person,
                      const DateTime& date, const LinkStamp& stamp, std::string_view closing);

}  // namespace ostrand::navigation

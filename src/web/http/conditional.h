// Conditional GET (RFC 9110, section 13) for what clients poll, such as the
// calendar feeds: the HTTP dates of Last-Modified and If-Modified-Since,
// the entity tags of If-None-Match, and the decision to answer 304. Plain
// functions on text, so that any header can be thrown at them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "web/http/request.h"

namespace ostrand::web::http {

// "Sun, 06 Nov 1994 08:49:37 GMT": the UTC time as an IMF-fixdate.
std::string HttpDate(const DateTime& utc);

// The UTC time of an HTTP date: an IMF-fixdate, or one of the obsolete
// forms a recipient must also read ("Sunday, 06-Nov-94 08:49:37 GMT", a
// two-digit year read as the nearest such year in 1970..2069, and
// "Sun Nov  6 08:49:37 1994"). Nothing for anything else, an impossible
// date included.
std::optional<DateTime> ReadHttpDate(std::string_view text);

// Whether an If-None-Match value ("*", or a comma list of entity tags such
// as W/"a1", "b2") names `etag` under the weak comparison (the W/ prefix
// ignored on both sides). The tag of an encoded answer ("a1-gzip", see
// answer_coding.h) names the same version as its unencoded tag. A list
// that does not read matches nothing.
bool NoneMatchHolds(std::string_view if_none_match, std::string_view etag);

// Whether a GET or HEAD with these headers may be answered 304 Not
// Modified for a representation with entity tag `etag` (may be empty: none)
// that last changed at `last_modified` (UTC): by If-None-Match when the
// request has one, otherwise by If-Modified-Since, when its date is no
// earlier than last_modified.
bool IsNotModified(const Request& request, std::string_view etag,
                   const std::optional<DateTime>& last_modified);

}  // namespace ostrand::web::http

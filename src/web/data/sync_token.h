// The sync tokens of the calendars (web/data/calendar_objects.h): an
// absolute URI naming the site and the number of the last change the
// client has seen (hostCalendarChange.changeNumber):
//   <site address>/dav/sync/<site identity>/<number>
// The site identity (data/site_identity.h) decides whose token it is, not
// the address, so that a token stays good when the site is reached by
// another name. Reading a token is a plain function on outside text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand::web {

// The token of change `number` of the site `identity` at `site_uri`
// (its trailing "/" dropped). Never throws but std::bad_alloc.
std::string MakeSyncToken(std::string_view site_uri, std::string_view identity,
                          std::int64_t number);

// The number a token of the site `identity` names; nothing for any other
// text: another site's token, no "/dav/sync/" path, a number that is not
// plain decimal digits or is too large, or anything after it.
std::optional<std::int64_t> ReadSyncToken(std::string_view token, std::string_view identity);

}  // namespace ostrand::web

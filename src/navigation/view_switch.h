// The tab bar of a view page: the month tab and the week tab of one view
// pair, one of them current and the other a link to the paired page for the
// same person and date.
#pragma once

#include "core/value.h"
#include "navigation/link_stamp.h"

namespace ostrand::navigation {

// The tab bar for the current view strWhich, one of the six codes "m", "lm",
// "lm2" (month views: current tab on the left) and "w", "lw", "lw2" (week
// views: link on the left), compared exactly. The result is text of eight
// lines, each ended by CR LF; the link carries pID and dtDate's text as
// given (dtDate need not read as a date), then the time stamp and "rnd",
// read once each in that order. Request values are HTML-escaped in the
// link. For any other strWhich (other text, a number, empty, null) the
// result is the empty value and nothing is read from the stamp's sources.
Value DispSwitch(const Value& dtDate, const Value& pID, const Value& strWhich,
                 const LinkStamp& stamp);

}  // namespace ostrand::navigation

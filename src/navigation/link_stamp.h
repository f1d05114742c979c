// What every navigation link carries besides its own values: the time stamp
// "t" (seconds since midnight by the server clock) and the Session item
// "rnd". Both are read afresh for each link, so two links of one fragment
// may carry different stamps.
#pragma once

#include <functional>
#include <string>

#include "core/value.h"
#include "host/page_context.h"

namespace ostrand::navigation {

// Reads the page's Session item "rnd" (the empty value when never set).
// Failures of the read (no session held) propagate as Error.
using RndReader = std::function<Value()>;

// The two sources of a link's stamp. Both are borrowed: the caller keeps
// them alive for the call of the renderer that receives the stamp.
struct LinkStamp {
  const host::Clock& clock;
  const RndReader& rnd;
};

// The time stamp read from the clock now: a single-precision number in its
// shortest text with at most seven significant digits ("45296.78"; a whole
// number without a decimal point).
std::string TimeStampText(const host::Clock& clock);

}  // namespace ostrand::navigation

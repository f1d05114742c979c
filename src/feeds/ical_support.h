// Shared by the feed writer and reader (not for use outside src/feeds/):
// ownership of libical components, the lock around libical's zone tables,
// and conversions between DateTime and libical's times.
#pragma once

#include <libical/ical.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/date.h"

namespace ostrand::feeds::ical {

struct ComponentFree {
  void operator()(icalcomponent* c) const {
    if (c != nullptr) icalcomponent_free(c);
  }
};
// A component that is no part of another one (a part is owned by its parent).
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// Makes libical's errors non-fatal (they are read from the components), once
// per program. Every entry point of src/feeds/ that uses libical calls it.
void Setup();

// libical loads and expands its zones lazily into shared tables: every use
// of a zone (lookup, VTIMEZONE, conversion) holds this lock.
std::unique_lock<std::mutex> LockZones();

// The wall-clock time of `t` as a libical date-time, floating (no zone).
icaltimetype ToIcal(const DateTime& t);
// The same, marked as UTC ("Z").
icaltimetype ToIcalUtc(const DateTime& t);

// What icalparser_parse_string gives for `text` (read up to a NUL, as a C
// string would be), in time linear in its length: the component, or null
// when libical reads none. Errors of the text are X-LIC-ERROR properties.
Component Parse(std::string_view text);

// The text of a component: escaped, folded lines ending in CR LF.
std::string ToText(icalcomponent* c);

}  // namespace ostrand::feeds::ical

// Reading an iCalendar file (RFC 5545) into plans, for importing what a
// calendar program exported or what an own feed wrote. libical reads each
// event; this reader finds the events, reports each one it cannot take with
// the line of the file it is on, and never throws for any input.
//
// Each VEVENT becomes one plan:
//   times     DTSTART and DTEND (or DURATION) as wall-clock times of the
//             operator's zone: UTC times and times of a TZID (the file's
//             VTIMEZONE or a zone of the system's zoneinfo) are converted,
//             floating times taken as they are. An all-day event runs from
//             0:00 of its first day to 23:59 of its last day. An event
//             without an end ends when it starts (a date: on the same day).
//   texts     the X-OSTRAND-KIND, -PLACE, -DETAIL, -CONTENT and -ADDITION
//             properties of an own feed when the event has any of them;
//             otherwise SUMMARY is the content, LOCATION the place,
//             DESCRIPTION the addition and the first CATEGORIES value the
//             kind of place.
//   sharing   shared unless CLASS is PRIVATE or CONFIDENTIAL.
// Skipped, each with a reason: events libical finds errors in, events
// without DTSTART, with a TZID it cannot find, with times outside years
// 100..9999, recurring events (RRULE, RDATE), cancelled events, events that
// end before they start, and plans that plans::PlanRecordProblem refuses;
// components other than events (VTODO, VJOURNAL, ...); a component without
// its END line. A file without BEGIN:VCALENDAR gives one problem at line 1.
//
// Bounded work: the time taken grows linearly with the file. A file longer
// than plans::kMaxImportFileBytes, or holding a property longer than
// kMaxCalendarLineBytes (its folded lines joined), is refused whole, with
// one problem that names the limit (and the property's line).
#pragma once

#include <cstddef>
#include <string_view>

#include "feeds/time_zone.h"
#include "plans/plan_import.h"

namespace ostrand::feeds {

// The longest property ReadCalendar takes, in bytes, its folded lines
// joined: room for an inline attachment, while a plan's text is at most
// plans::kMaxPlanTextLength characters.
inline constexpr std::size_t kMaxCalendarLineBytes = 16 * 1024 * 1024;

// The plans of the events of `text` in the wall-clock time of `zone`, in
// the order of the file; ImportedPlan::person stays empty.
plans::ImportResult ReadCalendar(std::string_view text, const TimeZone& zone);

}  // namespace ostrand::feeds

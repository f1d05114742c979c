// One calendar object of a calendar program (CalDAV): the VCALENDAR that a
// client puts, holding one event (with the overridden instances of a
// recurring one, all of one UID), read into plans, and written back from
// the plans as they are now. libical reads and writes the text.
//
// Reading (ReadEventObject):
//   times     DTSTART and DTEND (or DURATION) in the zone of the plans:
//             UTC times and times of a TZID (the object's VTIMEZONE or an
//             IANA zone) are converted, floating times taken as they are.
//             A whole-day event covers its days: 0:00 of the first to 23:59
//             of the last (DTEND is exclusive).
//   texts     SUMMARY the content, LOCATION the place's detail; the kind of
//             place and the place from X-OSTRAND-KIND / X-OSTRAND-PLACE, else
//             the first and second CATEGORIES values ("" when the event names
//             none: the store gives the default); DESCRIPTION the addition.
//             The X-OSTRAND-* properties that the feeds and WriteEventObject
//             write (also -CONTENT and -DETAIL) give the exact fields as long
//             as SUMMARY, LOCATION and CATEGORIES still show what they give;
//             what a client changed there wins. Line breaks become one
//             space; texts are checked as the day editor's are.
//   sharing   CLASS:PUBLIC or no CLASS a shared plan; PRIVATE,
//             CONFIDENTIAL or a class of another name a private one.
//   series    RRULE, RDATE, EXDATE and the overridden instances (RECURRENCE-ID)
//             are expanded into one plan per instance, bounded by
//             EventLimits while expanding (never more than max_instances + 1
//             instances are computed). An instance overridden with
//             STATUS:CANCELLED, or a cancelled event, is no plan. Rules that
//             repeat more often than hourly, hourly rules limited to some
//             days, and rules naming days no month has are refused: libical
//             would look for their instances for seconds.
// Everything the text holds is kept (`kept`): alarms, attendees,
// attachments, the rule, unknown properties, so that a client gets back
// what it wrote.
//
// Writing (WriteEventObject): `kept` with the plans' fields written in,
// so that a change of a plan in the day editor shows in the client: for a
// single event its one VEVENT; for a series the master as kept, an
// overridden instance (RECURRENCE-ID) for every plan that differs from
// what the master gives for its instance, and an EXDATE for every instance
// of the master that has no plan any more. A property is written only where
// the plan differs from what the event gives, so a client's own text stays
// byte for byte; times keep the event's zone (its TZID, UTC or floating),
// and a whole-day event stays whole-day while its plan covers whole days.
//
// Every function here holds libical's zone lock (ical_support.h) while it
// works; any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "feeds/calendar_condition.h"
#include "feeds/time_zone.h"
#include "plans/plan_record.h"

namespace ostrand::feeds {

struct EventLimits {
  std::int64_t max_plan_days = 366;  // the longest plan, in days (serve --max-plan-days)
  std::size_t max_instances = 500;   // the most plans one object may become
};

// One plan of an object.
struct EventInstance {
  // The instance's original start as iCalendar text: "20261210T090000Z"
  // (UTC) for a timed instance, "20261210" for a whole-day one; "" for the
  // one plan of a single event.
  std::string recurrence_id;
  // id 0; kind and place names as the event gives them ("" for none),
  // kind_id empty, no last-modified time or revision.
  plans::PlanRecord plan;

  friend bool operator==(const EventInstance&, const EventInstance&) = default;
};

struct EventObject {
  std::string uid;
  bool recurring = false;
  // The fields the master event gives its instances (its first instance),
  // for a change of "every plan" of the series; the plan of a single event.
  plans::PlanRecord master;
  std::vector<EventInstance> instances;  // by start, then recurrence id
  std::string kept;                      // the calendar text to store
};

// Reads the calendar text a client put. Throws ConditionError:
//   403 "valid-calendar-data"           text that is no iCalendar object or that
//                                       libical reports errors in, an event
//                                       without DTSTART, a TZID it cannot find,
//                                       an end before the start, years outside
//                                       100..9999, a text a plan cannot hold,
//                                       a rule refused as above, components
//                                       nested deeper than 8;
//   403 "valid-calendar-object-resource" more than one UID, an event without
//                                       UID, no VEVENT, two masters or two
//                                       events of one RECURRENCE-ID, a VTODO,
//                                       VJOURNAL or VFREEBUSY besides it, an
//                                       object that gives no plan at all;
//   403 "max-instances"                 more instances than limits.max_instances,
//                                       or a rule without end that gives more;
//   403 ""                              a plan longer than limits.max_plan_days,
//                                       with a message naming its days;
//   413 "max-resource-size"             a text over kMaxObjectBytes.
// Every message names the bad value (the property, the line). Never throws
// anything else for any input.
EventObject ReadEventObject(std::string_view text, const TimeZone& zone, const EventLimits& limits);

// The largest calendar object read, in bytes.
inline constexpr std::size_t kMaxObjectBytes = 256 * 1024;

// The text GET gives for an object read by ReadEventObject, whose plans are
// now `instances` (as stored: the editor may have changed or deleted some;
// names of kind and place as stored). Equal arguments give equal bytes.
// Throws Error (kInternal) when `kept` does not read (stored data that
// another program damaged).
std::string WriteEventObject(std::string_view kept, const std::vector<EventInstance>& instances,
                             const TimeZone& zone);

// The events of the object (a text WriteEventObject gave) that overlap the
// time from `start` to `end` (UTC), as a calendar program asks for them
// expanded: a VCALENDAR of one VEVENT per instance, its DTSTART and DTEND
// in UTC (dates for a whole-day event), an instance of a recurring event
// with its RECURRENCE-ID (in UTC) and without RRULE, RDATE or EXDATE; no
// VTIMEZONE, and cancelled instances left out. Every other property stays
// as the object holds it. Throws as WriteEventObject.
std::string ExpandedCalendarText(std::string_view text, const TimeZone& zone,
                                 const DateTime& start, const DateTime& end);

// `kept` with the master event's fields set from `master` (its start and
// end as the first instance's, texts, place, sharing), for a change of every
// plan of a series; instances that were overridden stay so, and their
// RECURRENCE-IDs and the EXDATEs move with the start so that they still name
// their instances. A rule's UNTIL stays: a later start may end the series
// sooner. Throws as WriteEventObject.
std::string ReplaceMaster(std::string_view kept, const plans::PlanRecord& master,
                          const TimeZone& zone);

// The instances `kept` gives for `master` (ReadEventObject's expansion,
// limits applied), for the store to write the plans of a series again after
// ReplaceMaster. Throws as ReadEventObject.
std::vector<EventInstance> ExpandEventObject(std::string_view kept, const TimeZone& zone,
                                             const EventLimits& limits);

}  // namespace ostrand::feeds

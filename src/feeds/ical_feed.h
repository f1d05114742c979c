// The iCalendar feeds (RFC 5545) of the schedule, written with libical: a
// person's own plans, a colleague's shared plans, and a department's shared
// plans for the holders of the leader duties. Calendar programs subscribe to
// them: every event is transparent (it never makes anyone look busy), keeps
// one UID per plan and view, and carries the change counter as SEQUENCE so
// that a changed plan updates its event instead of adding one.
//
// What an event shows follows the pages' rule for the viewer:
//   own         every plan; SUMMARY the content (the place when the content
//               is blank), LOCATION place and detail, DESCRIPTION the
//               addition, CATEGORIES the kind of place, CLASS PUBLIC for a
//               shared plan and PRIVATE for another one, and the exact texts
//               in X-OSTRAND-KIND, -PLACE, -DETAIL, -CONTENT, -ADDITION (the
//               ones not empty) for reading the feed back;
//   colleague   shared plans only; SUMMARY the place name, nothing else;
//   department  shared plans only; SUMMARY "name: place", nothing else.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "feeds/feed_range.h"
#include "feeds/time_zone.h"
#include "plans/plan_record.h"

namespace ostrand::feeds {

enum class FeedView { kOwn, kColleague, kDepartment };

struct FeedRequest {
  FeedView view = FeedView::kOwn;
  // kOwn and kColleague: the one person shown; kDepartment: every person of
  // the list, in its order. Plans outside `range`, and for kColleague and
  // kDepartment the plans that are not shared, are left out here whatever
  // the caller passes; so are plans that end before they start (no page
  // shows them). Every plan needs its id (> 0).
  std::vector<plans::PersonPlans> persons;
  FeedRange range;
  std::string calendar_name;           // NAME and X-WR-CALNAME; none when empty
  // The part of every UID after "@": the site's identity, the same
  // whatever name the site is reached by.
  std::string uid_domain = "ostrand";
};

// The calendar: VCALENDAR with PRODID, VERSION, CALSCALE, the names, the
// refresh hints, the zone's VTIMEZONE (none for UTC), then one VEVENT per
// plan in the order of persons and plans. Start and end are wall-clock times
// with the zone's TZID (UTC times for UTC); a plan that ends when it starts
// has no DTEND. DTSTAMP is the plan's last-modified time, else its start
// in UTC: never the time of writing, so that equal requests give equal
// bytes. Texts are cleaned of control characters and ill-formed UTF-8, and
// escaped as TEXT (X- properties too); lines are folded at 75 octets and
// end in CR LF.
//
// Throws Error when kOwn or kColleague does not get exactly one person, when
// a plan has no id, or when uid_domain is empty or holds other characters
// than letters, digits, "." and "-".
std::string WriteCalendar(const FeedRequest& request, const TimeZone& zone);

// A weak entity tag (W/"32 hex digits") of what WriteCalendar writes for the
// same request and zone: equal requests give equal tags on every run (and
// equal bodies), and any change of a
// shown plan (also its revision or last-modified time), of the range, the
// names, the view or the zone gives another tag. A private plan never takes
// part in another viewer's tag. Computed without writing the calendar.
// Throws as WriteCalendar.
std::string CalendarETag(const FeedRequest& request, const TimeZone& zone);

// The latest last-modified time of the plans the calendar shows, or nothing
// when it shows none or one of them has no such time. A deleted plan leaves
// no time behind: a server should prefer the entity tag for conditional
// requests.
std::optional<DateTime> LatestChange(const FeedRequest& request);

// `text` escaped as an iCalendar TEXT value: backslash, comma and semicolon
// get a backslash, a line feed becomes "\n", a carriage return is left out.
void AppendEscapedText(std::string& out, std::string_view text);

// The content line `line` folded at 75 octets (never inside a UTF-8
// sequence or an escape), each piece ending in CR LF.
void AppendFoldedLine(std::string& out, std::string_view line);

}  // namespace ostrand::feeds

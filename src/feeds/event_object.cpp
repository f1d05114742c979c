#include "feeds/event_object.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "core/utf8.h"
#include "feeds/ical_support.h"
#include "plans/plan_import.h"

namespace ostrand::feeds {
namespace {

constexpr const char* kBadData = "valid-calendar-data";
constexpr const char* kBadObject = "valid-calendar-object-resource";
constexpr const char* kTooMany = "max-instances";

// Stored objects were read under some limits; writing them back expands
// them again without refusing, up to this many instances.
constexpr std::size_t kStoredInstances = 100000;

[[noreturn]] void Refuse(const std::string& message, const char* condition = kBadData) {
  throw ConditionError(message, 403, condition);
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// A value as a message shows it: cleaned, on one line, bounded.
std::string Shown(std::string_view text) {
  std::string out = CleanText(text.substr(0, 80));
  for (char& c : out) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return out;
}

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

icaltimezone* Utc() { return icaltimezone_get_utc_timezone(); }
icaltimezone* PlanZone(const TimeZone& zone) { return zone.is_utc() ? Utc() : zone.handle(); }
bool IsUtc(const icaltimetype& t) { return t.zone == Utc(); }

// ---------------------------------------------------------------------------
// Times. Everything below runs under ical::LockZones(), so it never calls
// TimeZone's own conversions (which take the lock themselves).

std::string TimeText(const icaltimetype& t) {
  char out[24];
  if (t.is_date) {
    std::snprintf(out, sizeof out, "%04d%02d%02d", t.year, t.month, t.day);
  } else {
    std::snprintf(out, sizeof out, "%04d%02d%02dT%02d%02d%02d%s", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, IsUtc(t) ? "Z" : "");
  }
  return out;
}

DateTime Civil(const icaltimetype& t, std::string_view what) {
  try {
    return DateTime::FromCivil(t.year, t.month, t.day, t.is_date ? 0 : t.hour,
                               t.is_date ? 0 : t.minute, t.is_date ? 0 : t.second);
  } catch (const Error&) {
    Refuse(std::string(what) + " '" + TimeText(t) +
           "' is not a date and time of years 100 to 9999");
  }
}

// A floating time is a wall-clock time of the plans' zone.
icaltimetype Anchored(icaltimetype t, const TimeZone& zone) {
  if (!t.is_date && t.zone == nullptr) t.zone = PlanZone(zone);
  return t;
}

// The wall-clock time of the date-time `t` in the plans' zone.
DateTime InPlanZone(const icaltimetype& t, const TimeZone& zone, std::string_view what) {
  Civil(t, what);  // impossible fields are refused before libical converts them
  return Civil(icaltime_convert_to_zone(Anchored(t, zone), PlanZone(zone)), what);
}

// The original start of an instance as a recurrence id: a date as it is, a
// date-time in UTC.
std::string RecurrenceKey(const icaltimetype& t, const TimeZone& zone) {
  if (t.is_date) return TimeText(t);
  return TimeText(icaltime_convert_to_zone(Anchored(t, zone), Utc()));
}

icaltimetype FromCivil(const DateTime& t, bool is_date) {
  icaltimetype out = ical::ToIcal(t);
  if (is_date) {
    out.is_date = 1;
    out.hour = out.minute = out.second = 0;
  }
  return out;
}

// The zone a property's TZID names: the object's VTIMEZONE, else a zone of
// the system's zoneinfo. Refuses a TZID that neither knows.
icaltimezone* ZoneOfTzid(icalcomponent* calendar, const char* tzid, std::string_view what) {
  if (tzid == nullptr || *tzid == '\0') Refuse("an empty TZID in " + std::string(what));
  icaltimezone* found = icalcomponent_get_timezone(calendar, tzid);
  if (found == nullptr) found = icaltimezone_get_builtin_timezone_from_tzid(tzid);
  if (found == nullptr) found = icaltimezone_get_builtin_timezone(tzid);
  if (found == nullptr || icaltimezone_get_component(found) == nullptr) {
    Refuse("unknown time zone '" + Shown(tzid) + "' in " + std::string(what));
  }
  return found;
}

// `raw` (a value of `property`) with the zone of the property's TZID.
icaltimetype Zoned(icaltimetype raw, icalproperty* property, icalcomponent* calendar,
                   std::string_view what) {
  if (icaltime_is_null_time(raw)) Refuse(std::string(what) + " holds no date or time");
  if (raw.is_date || IsUtc(raw)) return raw;
  raw.zone = nullptr;
  if (icalparameter* p = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER)) {
    raw.zone = ZoneOfTzid(calendar, icalparameter_get_tzid(p), what);
  }
  return raw;
}

icaltimetype TimeOf(icalproperty* property, icalcomponent* calendar, std::string_view what) {
  icalvalue* value = icalproperty_get_value(property);
  if (value == nullptr) Refuse(std::string(what) + " holds no date or time");
  const icalvalue_kind kind = icalvalue_isa(value);
  if (kind != ICAL_DATETIME_VALUE && kind != ICAL_DATE_VALUE) {
    Refuse(std::string(what) + " holds no date or time");
  }
  return Zoned(icalvalue_get_datetime(value), property, calendar, what);
}

// ---------------------------------------------------------------------------
// One event's fields.

struct Span {
  DateTime start;
  DateTime end;
};

// The plan times of an event starting at `start` (the property's time, its
// zone resolved) for `length_seconds` (timed) or `days` (whole-day).
Span SpanOf(const icaltimetype& start, long long length_seconds, int days, const TimeZone& zone) {
  if (start.is_date) {
    const DateTime first = Civil(start, "DTSTART");
    const DateTime last = first.AddDays(std::max(days, 1) - 1);
    return {first, DateTime::FromCivil(last.year(), last.month(), last.day_of_month(), 23, 59)};
  }
  const DateTime begin = InPlanZone(start, zone, "DTSTART");
  icaltimetype end = icaltime_convert_to_zone(Anchored(start, zone), Utc());
  icaltime_adjust(&end, static_cast<int>(length_seconds / 86400), 0, 0,
                  static_cast<int>(length_seconds % 86400));
  return {begin, InPlanZone(end, zone, "DTEND")};
}

// The length of an event: seconds for a timed one, days for a whole-day one.
struct Length {
  long long seconds = 0;
  int days = 1;
};

Length LengthOf(icalcomponent* event, icalcomponent* calendar, const icaltimetype& start,
                const TimeZone& zone) {
  Length length;
  icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
  icalproperty* duration = icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY);
  if (dtend != nullptr) {
    const icaltimetype end = TimeOf(dtend, calendar, "DTEND");
    Civil(end, "DTEND");
    if (start.is_date) {
      if (!end.is_date) Refuse("DTEND '" + TimeText(end) + "' is no date, as DTSTART is");
      const std::int64_t days = Civil(end, "DTEND").day() - Civil(start, "DTSTART").day();
      if (days < 0) {
        Refuse("ends (DTEND " + TimeText(end) + ") before it starts (DTSTART " + TimeText(start) +
               ")");
      }
      length.days = static_cast<int>(std::min<std::int64_t>(days, 1 << 24));
    } else {
      if (end.is_date) Refuse("DTEND '" + TimeText(end) + "' is a date, DTSTART is not");
      const icaltimetype a = icaltime_convert_to_zone(Anchored(start, zone), Utc());
      const icaltimetype b = icaltime_convert_to_zone(Anchored(end, zone), Utc());
      length.seconds = (Civil(b, "DTEND").day() - Civil(a, "DTSTART").day()) * 86400LL +
                       Civil(b, "DTEND").seconds() - Civil(a, "DTSTART").seconds();
      if (length.seconds < 0) {
        Refuse("ends (DTEND " + TimeText(end) + ") before it starts (DTSTART " + TimeText(start) +
               ")");
      }
    }
  } else if (duration != nullptr) {
    const icaldurationtype d = icalproperty_get_duration(duration);
    if (icaldurationtype_is_bad_duration(d) || d.is_neg) {
      Refuse("DURATION '" + Shown(Text(icalproperty_get_value_as_string(duration))) +
             "' is no length of time");
    }
    const long long seconds =
        ((static_cast<long long>(d.weeks) * 7 + d.days) * 24 + d.hours) * 3600LL +
        d.minutes * 60LL + d.seconds;
    if (seconds > 10000LL * 366 * 86400) Refuse("DURATION is longer than the calendar");
    length.seconds = seconds;
    length.days = static_cast<int>(std::max<long long>(seconds / 86400, 1));
  }
  return length;
}

// The values of one CATEGORIES text, blanks and tabs trimmed, appended to `out`.
void SplitCategories(std::string_view all, std::vector<std::string>& out) {
  std::size_t from = 0;
  while (from <= all.size()) {
    const std::size_t comma = std::min(all.find(',', from), all.size());
    out.emplace_back(TrimSpacesAndTabs(all.substr(from, comma - from)));
    from = comma + 1;
  }
}

// Every value of the event's CATEGORIES properties, blanks and tabs trimmed.
std::vector<std::string> Categories(icalcomponent* event) {
  std::vector<std::string> out;
  for (icalproperty* p = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY)) {
    SplitCategories(Text(icalproperty_get_categories(p)), out);
  }
  return out;
}

// A kind or place name as CATEGORIES holds it: a comma would split it, so
// it becomes a blank, and blanks at the ends are trimmed as the reader does.
std::string CategoryForm(std::string_view name) {
  std::string form(name);
  std::replace(form.begin(), form.end(), ',', ' ');
  return std::string(TrimSpacesAndTabs(form));
}

// The CATEGORIES text written for a plan: the kind, then the place.
std::string CategoriesText(std::string_view kind, std::string_view place) {
  std::string text = CategoryForm(kind);
  if (!place.empty()) text.append(",").append(CategoryForm(place));
  return text;
}

std::optional<std::string> XValue(icalcomponent* event, std::string_view name) {
  for (icalproperty* x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x != nullptr;
       x = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
    if (Upper(Text(icalproperty_get_x_name(x))) == name) return Text(icalproperty_get_x(x));
  }
  return std::nullopt;
}

// What a calendar shows as the title of a plan (the feeds' form): the
// content, else the place.
std::string Title(std::string_view content, std::string_view place) {
  const std::string_view shown = TrimWhitespace(content);
  return std::string(shown.empty() ? place : shown);
}

// What a calendar shows as the location of a plan in the feeds: the place
// and the detail.
std::string FeedLocation(const std::string& place, const std::string& detail) {
  return place + (!place.empty() && !detail.empty() ? " " : "") + detail;
}

// The texts and sharing of an event. The X-OSTRAND-* properties (written by
// the feeds and by WriteEventObject) give the exact fields while the
// visible properties still show what they give; a client that changed
// SUMMARY, LOCATION or CATEGORIES wins.
void ReadFields(icalcomponent* event, plans::PlanRecord& plan) {
  const std::vector<std::string> categories = Categories(event);
  const std::optional<std::string> x_kind = XValue(event, "X-OSTRAND-KIND");
  const std::optional<std::string> x_place = XValue(event, "X-OSTRAND-PLACE");
  const std::optional<std::string> x_detail = XValue(event, "X-OSTRAND-DETAIL");
  const std::optional<std::string> x_content = XValue(event, "X-OSTRAND-CONTENT");
  const std::string category_kind = categories.empty() ? "" : categories[0];
  const std::string category_place = categories.size() < 2 ? "" : categories[1];
  plan.kind = x_kind && (categories.empty() || CategoryForm(*x_kind) == category_kind)
                  ? *x_kind
                  : category_kind;
  plan.place = x_place && (categories.size() < 2 || CategoryForm(*x_place) == category_place)
                   ? *x_place
                   : category_place;
  plan.kind = TrimSpacesAndTabs(plan.kind);
  plan.place = TrimSpacesAndTabs(plan.place);

  const std::string summary = Text(icalcomponent_get_summary(event));
  if (x_content && summary == Title(*x_content, plan.place)) {
    plan.content = *x_content;
  } else if (!x_content && x_place && summary == plan.place) {
    plan.content.clear();
  } else {
    plan.content = summary;
  }
  const std::string location = Text(icalcomponent_get_location(event));
  const bool feed_location =
      (x_place || x_detail) && location == FeedLocation(plan.place, x_detail.value_or(""));
  plan.detail = feed_location ? x_detail.value_or("") : location;
  plan.addition = Text(icalcomponent_get_description(event));
  plan.shared = true;
  if (icalproperty* c = icalcomponent_get_first_property(event, ICAL_CLASS_PROPERTY)) {
    const icalproperty_class access = icalproperty_get_class(c);
    // A class of a name the reader does not know counts as private.
    plan.shared = access == ICAL_CLASS_PUBLIC || access == ICAL_CLASS_NONE;
  }
  plans::FlattenLineBreaks(plan);
  // The calendar reader drops blanks at the ends of a value, so a line
  // break that became one there goes as well: a text reads back as written.
  for (std::string* text : {&plan.kind, &plan.place, &plan.content, &plan.detail, &plan.addition}) {
    *text = TrimSpacesAndTabs(*text);
  }
}

// ---------------------------------------------------------------------------
// The object: its calendar, the master event and the overridden instances.

struct Object {
  ical::Component calendar;
  icalcomponent* master = nullptr;                                // part of `calendar`, or null
  std::vector<std::pair<std::string, icalcomponent*>> overrides;  // by recurrence key
  std::string uid;
};

bool HasRecurrence(icalcomponent* event) {
  return icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) != nullptr ||
         icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY) != nullptr;
}

// Components nest this deep at most (VCALENDAR, VEVENT, VALARM, and room
// for a client's own): libical frees and writes components recursively.
constexpr int kMaxNesting = 8;

// Refuses a text whose components nest deeper than kMaxNesting.
void CheckNesting(std::string_view text) {
  int depth = 0;
  int line = 1;
  for (std::size_t at = 0; at < text.size(); ++line) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = text.substr(at, end - at);
    if (StartsWithNoCase(row, "BEGIN:")) {
      if (++depth > kMaxNesting) {
        Refuse("components nest deeper than " + std::to_string(kMaxNesting) + " (line " +
               std::to_string(line) + ")");
      }
    } else if (StartsWithNoCase(row, "END:")) {
      --depth;
    }
    at = end + 1;
  }
}

// Refuses a calendar in which libical found errors, naming the first.
void RefuseErrors(icalcomponent* calendar) {
  if (icalcomponent_count_errors(calendar) == 0) return;
  for (icalcomponent* c = calendar; c != nullptr;) {
    if (icalproperty* e = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY)) {
      Refuse("libical cannot read the calendar: " + Shown(Text(icalproperty_get_xlicerror(e))));
    }
    c = c == calendar ? icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT)
                      : icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT);
  }
  Refuse("libical cannot read the calendar");
}

// Checks the structure of the calendar text and finds its events.
Object ReadStructure(std::string_view text, const TimeZone& zone) {
  if (text.size() > kMaxObjectBytes) {
    throw ConditionError(
        "the calendar object is longer than " + std::to_string(kMaxObjectBytes / 1024) + " KiB",
        413, "max-resource-size");
  }
  CheckNesting(text);
  Object object;
  object.calendar = ical::Parse(text);
  if (!object.calendar || icalcomponent_isa(object.calendar.get()) != ICAL_VCALENDAR_COMPONENT) {
    Refuse("not an iCalendar object: BEGIN:VCALENDAR ... END:VCALENDAR is missing");
  }
  RefuseErrors(object.calendar.get());
  // What is kept is the calendar as libical writes it, and a value libical
  // reads but writes in a form it cannot read again (a DTSTAMP that is a
  // date) would make the kept text unreadable: the written form must read.
  object.calendar = ical::Parse(ical::ToText(object.calendar.get()));
  if (!object.calendar) Refuse("libical cannot read the calendar as it writes it");
  RefuseErrors(object.calendar.get());
  icalcomponent* calendar = object.calendar.get();
  std::set<std::string> keys;  // of the overridden instances
  for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT);
       c != nullptr; c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
    const icalcomponent_kind kind = icalcomponent_isa(c);
    if (kind == ICAL_VTIMEZONE_COMPONENT || kind == ICAL_XLICINVALID_COMPONENT ||
        kind == ICAL_X_COMPONENT) {
      continue;
    }
    if (kind != ICAL_VEVENT_COMPONENT) {
      Refuse("a " + Shown(Text(icalcomponent_kind_to_string(kind))) +
                 " besides the event: an object holds one event",
             kBadObject);
    }
    const std::string uid = Text(icalcomponent_get_uid(c));
    if (TrimWhitespace(uid).empty()) Refuse("an event without UID", kBadObject);
    if (object.uid.empty()) object.uid = uid;
    if (uid != object.uid) {
      Refuse("two events of different UIDs ('" + Shown(object.uid) + "', '" + Shown(uid) + "')",
             kBadObject);
    }
    if (icalcomponent_get_first_property(c, ICAL_DTSTART_PROPERTY) == nullptr) {
      Refuse("the event '" + Shown(uid) + "' has no start (DTSTART)");
    }
    icalproperty* rid = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
    if (rid == nullptr) {
      if (object.master != nullptr) Refuse("two events of UID '" + Shown(uid) + "'", kBadObject);
      object.master = c;
      continue;
    }
    const std::string key = RecurrenceKey(TimeOf(rid, calendar, "RECURRENCE-ID"), zone);
    if (!keys.insert(key).second) Refuse("two events for RECURRENCE-ID " + key, kBadObject);
    object.overrides.emplace_back(key, c);
  }
  if (object.master == nullptr && object.overrides.empty()) {
    Refuse("no VEVENT in the calendar object", kBadObject);
  }
  return object;
}

// One instance the master event gives.
struct Occurrence {
  icaltimetype original;  // in the master's zone
  std::string key;        // its recurrence id
  Span span;              // in the plans' zone
};

struct Expansion {
  std::vector<Occurrence> occurrences;  // EXDATEs left out
  plans::PlanRecord fields;             // the master's texts and sharing
};

void CheckLength(const Span& span, const EventLimits& limits) {
  const std::int64_t days = span.end.day() - span.start.day() + 1;
  if (days > limits.max_plan_days) {
    throw ConditionError("a plan of " + std::to_string(days) + " days (" + span.start.ToText() +
                             " to " + span.end.ToText() + "): the longest is " +
                             std::to_string(limits.max_plan_days) + " days",
                         403, "");
  }
}

// False when the rule's BYMONTHDAY values fit none of its months (or of
// any month), such as the 30th of February: libical would look for such a
// day up to its last year.
bool HasPossibleDay(const icalrecurrencetype& rule) {
  if (rule.by_month_day[0] == ICAL_RECURRENCE_ARRAY_MAX) return true;
  static constexpr int kLongest[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m <= 12; ++m) {
    bool month_named = rule.by_month[0] == ICAL_RECURRENCE_ARRAY_MAX;
    for (int i = 0; i < ICAL_BY_MONTH_SIZE && rule.by_month[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
      // The month is encoded with a leap flag of other calendars' scales.
      month_named = month_named || icalrecurrencetype_month_month(rule.by_month[i]) == m;
    }
    if (!month_named) continue;
    for (int i = 0; i < ICAL_BY_MONTHDAY_SIZE && rule.by_month_day[i] != ICAL_RECURRENCE_ARRAY_MAX;
         ++i) {
      const int day = rule.by_month_day[i];
      if (day != 0 && std::abs(day) <= kLongest[m]) return true;
    }
  }
  return false;
}

struct RecurFree {
  void operator()(icalrecur_iterator* i) const { icalrecur_iterator_free(i); }
};

// The instances of the master: DTSTART, the RRULE's and the RDATEs',
// without the EXDATEs; at most `bound` of them (more are refused).
Expansion Expand(icalcomponent* master, icalcomponent* calendar, const TimeZone& zone,
                 std::size_t bound) {
  Expansion out;
  ReadFields(master, out.fields);
  const icaltimetype start =
      TimeOf(icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY), calendar, "DTSTART");
  Civil(start, "DTSTART");
  const Length length = LengthOf(master, calendar, start, zone);
  if (icalcomponent_get_status(master) == ICAL_STATUS_CANCELLED) return out;

  std::set<std::string> excluded;
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_EXDATE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_EXDATE_PROPERTY)) {
    icaltimetype t = Zoned(icalproperty_get_exdate(p), p, calendar, "EXDATE");
    Civil(t, "EXDATE");
    // A date excludes the instance of that date; a date-time the instance
    // at that time.
    if (t.is_date && !start.is_date) {
      excluded.insert("D" + TimeText(t));
    } else {
      excluded.insert(RecurrenceKey(t, zone));
    }
  }
  std::set<std::string> seen;
  auto add = [&](icaltimetype t, std::optional<Span> span) {
    Civil(t, "an instance's start");
    const std::string key = RecurrenceKey(t, zone);
    icaltimetype date = t;
    date.is_date = 1;
    if (excluded.contains(key) || excluded.contains("D" + TimeText(date)) ||
        !seen.insert(key).second) {
      return;
    }
    if (out.occurrences.size() >= bound) {
      Refuse("the event gives more than " + std::to_string(bound) + " plans", kTooMany);
    }
    out.occurrences.push_back(
        {t, key, span ? *span : SpanOf(t, length.seconds, length.days, zone)});
  };

  icalproperty* rrule = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY);
  if (rrule == nullptr) {
    add(start, std::nullopt);
  } else {
    if (icalcomponent_get_next_property(master, ICAL_RRULE_PROPERTY) != nullptr) {
      Refuse("an event with more than one RRULE");
    }
    const icalrecurrencetype rule = icalproperty_get_rrule(rrule);
    if (rule.freq == ICAL_NO_RECURRENCE) {
      Refuse("RRULE '" + Shown(Text(icalproperty_get_value_as_string(rrule))) + "' is no rule");
    }
    if (rule.count == 0 && icaltime_is_null_time(rule.until)) {
      Refuse("a repeating event needs an end (UNTIL) or a count (COUNT) in its RRULE", kTooMany);
    }
    if (rule.freq == ICAL_SECONDLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE) {
      Refuse("RRULE FREQ=" + std::string(icalrecur_freq_to_string(rule.freq)) +
             ": a plan repeats at most hourly");
    }
    // libical looks for the next instance hour by hour up to its last
    // year; a rule that limits an hourly one to days takes seconds to find
    // that it gives nothing (FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30).
    const bool day_parts = rule.by_day[0] != ICAL_RECURRENCE_ARRAY_MAX ||
                           rule.by_month_day[0] != ICAL_RECURRENCE_ARRAY_MAX ||
                           rule.by_year_day[0] != ICAL_RECURRENCE_ARRAY_MAX ||
                           rule.by_week_no[0] != ICAL_RECURRENCE_ARRAY_MAX ||
                           rule.by_month[0] != ICAL_RECURRENCE_ARRAY_MAX;
    if (!HasPossibleDay(rule)) {
      Refuse("RRULE '" + Shown(Text(icalproperty_get_value_as_string(rrule))) +
             "' names days that no month has");
    }
    if (rule.freq == ICAL_HOURLY_RECURRENCE && day_parts) {
      Refuse("RRULE '" + Shown(Text(icalproperty_get_value_as_string(rrule))) +
             "': an hourly rule limited to some days; repeat the event daily instead");
    }
    const std::unique_ptr<icalrecur_iterator, RecurFree> it(icalrecur_iterator_new(rule, start));
    if (!it) {
      Refuse("RRULE '" + Shown(Text(icalproperty_get_value_as_string(rrule))) +
             "' gives no instances libical can compute");
    }
    // Excluded instances are read past, the others counted: the loop ends
    // after bound + EXDATEs + 1 instances of the rule.
    const std::size_t most = bound + excluded.size() + 1;
    std::size_t steps = 0;
    for (icaltimetype t = icalrecur_iterator_next(it.get()); !icaltime_is_null_time(t);
         t = icalrecur_iterator_next(it.get())) {
      if (++steps > most) {
        Refuse("the event gives more than " + std::to_string(bound) + " plans", kTooMany);
      }
      t.zone = start.zone;
      t.is_date = start.is_date;
      add(t, std::nullopt);
    }
  }
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_RDATE_PROPERTY)) {
    const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
    if (!icaltime_is_null_time(rdate.time)) {
      const icaltimetype t = Zoned(rdate.time, p, calendar, "RDATE");
      if (t.is_date != start.is_date)
        Refuse("RDATE '" + TimeText(t) + "' is not of DTSTART's type");
      add(t, std::nullopt);
      continue;
    }
    const icaltimetype first = Zoned(rdate.period.start, p, calendar, "RDATE");
    if (first.is_date || start.is_date) Refuse("an RDATE period of a whole-day event");
    icaltimetype last = rdate.period.end;
    if (icaltime_is_null_time(last)) {
      last = icaltime_add(first, rdate.period.duration);
    } else {
      last = Zoned(last, p, calendar, "RDATE");
    }
    const Span span{InPlanZone(first, zone, "RDATE"), InPlanZone(last, zone, "RDATE")};
    if (span.end < span.start)
      Refuse("the RDATE period '" + TimeText(first) + "' ends before it starts");
    add(first, span);
  }
  return out;
}

// The plan of an overridden instance.
Span OverrideSpan(icalcomponent* event, icalcomponent* calendar, const TimeZone& zone) {
  const icaltimetype start =
      TimeOf(icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY), calendar, "DTSTART");
  Civil(start, "DTSTART");
  const Length length = LengthOf(event, calendar, start, zone);
  return SpanOf(start, length.seconds, length.days, zone);
}

// Whether the plans agree in what an event says: times, texts, kind and
// place names, sharing. The store's own fields (id, kind id, revision,
// time of change) are not the event's, so they never make an override.
bool SameInEvent(const plans::PlanRecord& a, const plans::PlanRecord& b) {
  return a.start == b.start && a.end == b.end && a.kind == b.kind && a.place == b.place &&
         a.detail == b.detail && a.content == b.content && a.addition == b.addition &&
         a.shared == b.shared;
}

plans::PlanRecord PlanOf(const Span& span, const plans::PlanRecord& fields) {
  plans::PlanRecord plan = fields;
  plan.start = span.start;
  plan.end = span.end;
  return plan;
}

struct Reading {
  bool recurring = false;
  plans::PlanRecord master;
  std::vector<EventInstance> instances;
};

// The plans of the object, bounded and checked.
Reading ReadPlans(const Object& object, const TimeZone& zone, const EventLimits& limits) {
  icalcomponent* calendar = object.calendar.get();
  Reading out;
  out.recurring =
      !object.overrides.empty() || (object.master != nullptr && HasRecurrence(object.master));
  std::map<std::string, std::size_t> at;  // recurrence key -> index into instances
  if (object.master != nullptr) {
    const Expansion expansion = Expand(object.master, calendar, zone, limits.max_instances);
    out.master = PlanOf(expansion.occurrences.empty() ? OverrideSpan(object.master, calendar, zone)
                                                      : expansion.occurrences.front().span,
                        expansion.fields);
    for (const Occurrence& o : expansion.occurrences) {
      at[o.key] = out.instances.size();
      out.instances.push_back({out.recurring ? o.key : "", PlanOf(o.span, expansion.fields)});
    }
  }
  std::vector<std::size_t> cancelled;
  for (const auto& [key, event] : object.overrides) {
    plans::PlanRecord fields;
    ReadFields(event, fields);
    EventInstance instance{key, PlanOf(OverrideSpan(event, calendar, zone), fields)};
    const bool cancel = icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED;
    if (object.master == nullptr && out.instances.empty()) out.master = instance.plan;
    if (const auto found = at.find(key); found != at.end()) {
      out.instances[found->second] = std::move(instance);
      if (cancel) cancelled.push_back(found->second);
    } else if (!cancel) {
      // An instance the rule does not give (a client's extra date).
      if (out.instances.size() >= limits.max_instances) {
        Refuse("the event gives more than " + std::to_string(limits.max_instances) + " plans",
               kTooMany);
      }
      at[key] = out.instances.size();
      out.instances.push_back(std::move(instance));
    }
  }
  std::sort(cancelled.rbegin(), cancelled.rend());
  for (const std::size_t i : cancelled)
    out.instances.erase(out.instances.begin() + static_cast<std::ptrdiff_t>(i));
  if (out.instances.empty()) {
    Refuse("the event gives no plan: it is cancelled, or every instance is excluded", kBadObject);
  }
  for (const EventInstance& instance : out.instances) {
    const Span span{instance.plan.start, instance.plan.end};
    if (span.end < span.start) {
      Refuse("ends (" + span.end.ToText() + ") before it starts (" + span.start.ToText() + ")");
    }
    CheckLength(span, limits);
    if (const std::optional<std::string> problem = plans::PlanRecordProblem(instance.plan)) {
      Refuse("the event '" + Shown(object.uid) + "': " + *problem);
    }
  }
  std::stable_sort(out.instances.begin(), out.instances.end(),
                   [](const EventInstance& a, const EventInstance& b) {
                     return std::tie(a.plan.start, a.recurrence_id) <
                            std::tie(b.plan.start, b.recurrence_id);
                   });
  return out;
}

// ---------------------------------------------------------------------------
// Writing the plans' fields into events.

void RemoveAll(icalcomponent* event, icalproperty_kind kind) {
  while (icalproperty* p = icalcomponent_get_first_property(event, kind)) {
    icalcomponent_remove_property(event, p);
    icalproperty_free(p);
  }
}

void RemoveX(icalcomponent* event, std::string_view name) {
  for (icalproperty* x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x != nullptr;) {
    icalproperty* next = icalcomponent_get_next_property(event, ICAL_X_PROPERTY);
    if (Upper(Text(icalproperty_get_x_name(x))) == name) {
      icalcomponent_remove_property(event, x);
      icalproperty_free(x);
    }
    x = next;
  }
}

void SetX(icalcomponent* event, const char* name, const std::string& value) {
  RemoveX(event, name);
  if (value.empty()) return;
  // Names of kinds and places hold no line breaks; a comma or semicolon is
  // kept as it is by libical and read back so.
  std::string flat = value;
  std::replace_if(
      flat.begin(), flat.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  icalproperty* p = icalproperty_new_x(flat.c_str());
  icalproperty_set_x_name(p, name);
  icalcomponent_add_property(event, p);
}

void SetText(icalcomponent* event, icalproperty_kind kind, const std::string& value,
             icalproperty* (*make)(const char*)) {
  RemoveAll(event, kind);
  if (!value.empty()) icalcomponent_add_property(event, make(value.c_str()));
}

// The time property `kind` at `t`, in the form of `like` (its TZID).
icalproperty* TimeProperty(icalproperty_kind kind, icaltimetype t, icalproperty* like) {
  icalproperty* p = icalproperty_new(kind);
  icalproperty_set_value(p, t.is_date ? icalvalue_new_date(t) : icalvalue_new_datetime(t));
  if (t.is_date) icalproperty_add_parameter(p, icalparameter_new_value(ICAL_VALUE_DATE));
  if (!t.is_date && t.zone != nullptr && !IsUtc(t) && like != nullptr) {
    if (icalparameter* tzid = icalproperty_get_first_parameter(like, ICAL_TZID_PARAMETER)) {
      icalproperty_add_parameter(p, icalparameter_new_clone(tzid));
    }
  }
  return p;
}

// The plan time `wall` (of the plans' zone) in the zone of `like`: its
// TZID's zone, UTC, or floating.
icaltimetype InZoneOf(const DateTime& wall, const icaltimetype& like, const TimeZone& zone) {
  icaltimetype t = ical::ToIcal(wall);
  t.zone = PlanZone(zone);
  if (like.is_date) return icaltime_convert_to_zone(t, Utc());
  if (like.zone == nullptr) {
    t.zone = nullptr;
    return t;
  }
  icaltimetype out = icaltime_convert_to_zone(t, const_cast<icaltimezone*>(like.zone));
  out.zone = like.zone;
  return out;
}

long long SecondsBetween(const DateTime& from, const DateTime& to) {
  return (to.day() - from.day()) * 86400LL + to.seconds() - from.seconds();
}

DateTime Plus(const DateTime& t, long long seconds) {
  const long long total = t.day() * 86400LL + t.seconds() + seconds;
  const long long day = total >= 0 ? total / 86400 : (total - 86399) / 86400;
  try {
    return DateTime::FromSerial(day, static_cast<std::int32_t>(total - day * 86400));
  } catch (const Error&) {
    Refuse("a start moved beyond the calendar's years");
  }
}

bool CoversWholeDays(const plans::PlanRecord& plan) {
  return plan.start.seconds() == 0 && plan.end.hour() == 23 && plan.end.minute() == 59;
}

// Writes the plan's times into the event when they are not what it gives.
void SetTimes(icalcomponent* event, icalcomponent* calendar, const plans::PlanRecord& plan,
              const TimeZone& zone) {
  icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
  const icaltimetype start = TimeOf(dtstart, calendar, "DTSTART");
  const Length length = LengthOf(event, calendar, start, zone);
  const Span now = SpanOf(start, length.seconds, length.days, zone);
  if (now.start == plan.start && now.end == plan.end) return;
  icalproperty* like = icalproperty_new_clone(dtstart);
  icalproperty* new_start = nullptr;
  icalproperty* new_end = nullptr;
  if (start.is_date && CoversWholeDays(plan)) {
    new_start = TimeProperty(ICAL_DTSTART_PROPERTY, FromCivil(plan.start, true), like);
    new_end = TimeProperty(ICAL_DTEND_PROPERTY, FromCivil(plan.end.AddDays(1), true), like);
  } else {
    new_start = TimeProperty(ICAL_DTSTART_PROPERTY, InZoneOf(plan.start, start, zone), like);
    new_end = TimeProperty(ICAL_DTEND_PROPERTY, InZoneOf(plan.end, start, zone), like);
  }
  icalproperty_free(like);
  RemoveAll(event, ICAL_DTSTART_PROPERTY);
  RemoveAll(event, ICAL_DTEND_PROPERTY);
  RemoveAll(event, ICAL_DURATION_PROPERTY);
  icalcomponent_add_property(event, new_start);
  icalcomponent_add_property(event, new_end);
}

// Writes the plan's texts and sharing into the event, where they differ
// from what it gives.
void SetFields(icalcomponent* event, const plans::PlanRecord& plan) {
  plans::PlanRecord now;
  ReadFields(event, now);
  plans::PlanRecord want = plan;
  plans::FlattenLineBreaks(want);
  const bool texts = now.kind != want.kind || now.place != want.place ||
                     now.content != want.content || now.detail != want.detail;
  if (texts) {
    // The feeds' exact copies would contradict the new values.
    RemoveX(event, "X-OSTRAND-CONTENT");
    RemoveX(event, "X-OSTRAND-DETAIL");
    RemoveX(event, "X-OSTRAND-ADDITION");
    RemoveAll(event, ICAL_CATEGORIES_PROPERTY);
    const std::string categories = CategoriesText(want.kind, want.place);
    if (!want.kind.empty() || !want.place.empty()) {
      icalcomponent_add_property(event, icalproperty_new_categories(categories.c_str()));
    }
    SetX(event, "X-OSTRAND-KIND", want.kind);
    SetX(event, "X-OSTRAND-PLACE", want.place);
    SetText(event, ICAL_SUMMARY_PROPERTY, Title(want.content, want.place),
            icalproperty_new_summary);
    SetX(event, "X-OSTRAND-CONTENT", want.content);
    SetText(event, ICAL_LOCATION_PROPERTY, want.detail, icalproperty_new_location);
    SetX(event, "X-OSTRAND-DETAIL", want.detail);
  }
  if (now.addition != want.addition) {
    SetText(event, ICAL_DESCRIPTION_PROPERTY, want.addition, icalproperty_new_description);
  }
  if (now.shared != want.shared) {
    RemoveAll(event, ICAL_CLASS_PROPERTY);
    icalcomponent_add_property(
        event, icalproperty_new_class(want.shared ? ICAL_CLASS_PUBLIC : ICAL_CLASS_PRIVATE));
  }
}

void Apply(icalcomponent* event, icalcomponent* calendar, const plans::PlanRecord& plan,
           const TimeZone& zone) {
  SetTimes(event, calendar, plan, zone);
  SetFields(event, plan);
}

// A copy of `event` as one instance: without its rule, dates of the rule
// and RECURRENCE-ID. Made through the event's text: libical's clone loses
// some values (a CLASS of a name of the client's own becomes empty).
ical::Component InstanceCopy(icalcomponent* event) {
  ical::Component copy = ical::Parse(ical::ToText(event));
  if (!copy || icalcomponent_isa(copy.get()) != ICAL_VEVENT_COMPONENT) {
    throw Error("the event of the calendar object does not read again");
  }
  for (const icalproperty_kind kind :
       {ICAL_RRULE_PROPERTY, ICAL_RDATE_PROPERTY, ICAL_EXDATE_PROPERTY, ICAL_EXRULE_PROPERTY,
        ICAL_RECURRENCEID_PROPERTY}) {
    RemoveAll(copy.get(), kind);
  }
  return copy;
}

// A new overridden instance of the master for the occurrence `o`.
icalcomponent* NewOverride(icalcomponent* master, const Occurrence& o) {
  icalcomponent* event = InstanceCopy(master).release();
  icalproperty* dtstart = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
  icalproperty* rid = TimeProperty(ICAL_RECURRENCEID_PROPERTY, o.original, dtstart);
  icalcomponent_add_property(event, rid);
  return event;
}

void AddExdate(icalcomponent* master, const Occurrence& o) {
  icalproperty* dtstart = icalcomponent_get_first_property(master, ICAL_DTSTART_PROPERTY);
  icalcomponent_add_property(master, TimeProperty(ICAL_EXDATE_PROPERTY, o.original, dtstart));
}

// Reads stored text: a text that no longer reads is stored data damaged.
Object ReadStored(std::string_view kept, const TimeZone& zone) {
  try {
    return ReadStructure(kept, zone);
  } catch (const ConditionError& e) {
    throw Error(std::string("the stored calendar object does not read: ") + e.what(),
                ErrorKind::kInternal);
  }
}

[[noreturn]] void StoredFault(const ConditionError& e) {
  throw Error(std::string("the stored calendar object does not read: ") + e.what(),
              ErrorKind::kInternal);
}

}  // namespace

EventObject ReadEventObject(std::string_view text, const TimeZone& zone,
                            const EventLimits& limits) {
  ical::Setup();
  try {
    const auto lock = ical::LockZones();
    const Object object = ReadStructure(text, zone);
    Reading reading = ReadPlans(object, zone, limits);
    EventObject out;
    out.uid = object.uid;
    out.recurring = reading.recurring;
    out.master = std::move(reading.master);
    out.instances = std::move(reading.instances);
    out.kept = ical::ToText(object.calendar.get());
    return out;
  } catch (const ConditionError&) {
    throw;
  } catch (const std::exception& e) {
    Refuse("the calendar object cannot be read: " + Shown(e.what()));
  }
}

std::string WriteEventObject(std::string_view kept, const std::vector<EventInstance>& instances,
                             const TimeZone& zone) {
  ical::Setup();
  const auto lock = ical::LockZones();
  const Object object = ReadStored(kept, zone);
  icalcomponent* calendar = object.calendar.get();
  try {
    const bool recurring =
        !object.overrides.empty() || (object.master != nullptr && HasRecurrence(object.master));
    if (!recurring) {
      if (!instances.empty()) Apply(object.master, calendar, instances.front().plan, zone);
      return ical::ToText(calendar);
    }
    std::map<std::string, const EventInstance*> wanted;
    for (const EventInstance& instance : instances) wanted[instance.recurrence_id] = &instance;
    std::map<std::string, icalcomponent*> overridden;
    std::set<std::string> cancelled;
    for (const auto& [key, event] : object.overrides) {
      overridden[key] = event;
      if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) cancelled.insert(key);
    }
    std::set<std::string> done;
    if (object.master != nullptr) {
      Expansion expansion = Expand(object.master, calendar, zone, kStoredInstances);
      // The store names the kind and place of plans that the event left
      // open (its defaults): the master takes them from its first plan, so
      // that they do not make every instance an overridden one.
      if (!expansion.occurrences.empty() &&
          (expansion.fields.kind.empty() || expansion.fields.place.empty())) {
        const auto first = wanted.find(expansion.occurrences.front().key);
        if (first != wanted.end()) {
          plans::PlanRecord fields = expansion.fields;
          if (fields.kind.empty()) fields.kind = first->second->plan.kind;
          if (fields.place.empty()) fields.place = first->second->plan.place;
          if (fields != expansion.fields) {
            SetFields(object.master, fields);
            expansion = Expand(object.master, calendar, zone, kStoredInstances);
          }
        }
      }
      for (const Occurrence& o : expansion.occurrences) {
        done.insert(o.key);
        const auto want = wanted.find(o.key);
        const auto existing = overridden.find(o.key);
        if (want == wanted.end()) {
          if (cancelled.contains(o.key)) continue;
          if (existing != overridden.end()) {
            icalcomponent_remove_component(calendar, existing->second);
            icalcomponent_free(existing->second);
          }
          AddExdate(object.master, o);
          continue;
        }
        const plans::PlanRecord& plan = want->second->plan;
        if (existing != overridden.end()) {
          Apply(existing->second, calendar, plan, zone);
        } else if (!SameInEvent(PlanOf(o.span, expansion.fields), plan)) {
          icalcomponent* event = NewOverride(object.master, o);
          icalcomponent_add_component(calendar, event);
          Apply(event, calendar, plan, zone);
        }
      }
    }
    // Instances that only an override gives.
    for (const auto& [key, event] : object.overrides) {
      if (done.contains(key)) continue;
      const auto want = wanted.find(key);
      if (want != wanted.end()) {
        Apply(event, calendar, want->second->plan, zone);
      } else if (!cancelled.contains(key)) {
        icalcomponent_remove_component(calendar, event);
        icalcomponent_free(event);
      }
    }
    return ical::ToText(calendar);
  } catch (const ConditionError& e) {
    StoredFault(e);
  }
}

namespace {

// The plans' wall-clock time `wall` in UTC. The caller holds the zone lock
// (TimeZone::ToUtc takes it itself).
// A time beyond the calendar's ends in UTC (the first hours of the year
// 100 east of Greenwich) is its end.
DateTime WallToUtc(const DateTime& wall, const TimeZone& zone) {
  icaltimetype t = ical::ToIcal(wall);
  t.zone = PlanZone(zone);
  const icaltimetype utc = icaltime_convert_to_zone(t, Utc());
  if (utc.year < 100) return DateTime::Earliest();
  if (utc.year > 9999) return DateTime::Latest();
  return Civil(utc, "a time");
}

// A copy of `event` as one instance of an expanded answer: the span's
// times in UTC (dates for a whole-day event), the original start of a
// recurring event's instance as its RECURRENCE-ID in UTC, no rule.
icalcomponent* ExpandedInstance(icalcomponent* event, const Span& span, bool whole_day,
                                const std::string* recurrence_key, const TimeZone& zone) {
  ical::Component copy = InstanceCopy(event);
  icalcomponent* instance = copy.get();
  for (const icalproperty_kind kind :
       {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY, ICAL_DURATION_PROPERTY}) {
    RemoveAll(instance, kind);
  }
  const auto utc = [&zone](const DateTime& wall) { return ical::ToIcalUtc(WallToUtc(wall, zone)); };
  if (whole_day) {
    icalcomponent_add_property(
        instance, TimeProperty(ICAL_DTSTART_PROPERTY, FromCivil(span.start, true), nullptr));
    icalcomponent_add_property(
        instance,
        TimeProperty(ICAL_DTEND_PROPERTY, FromCivil(span.end.DateOnly().AddDays(1), true), nullptr));
  } else {
    icalcomponent_add_property(instance, icalproperty_new_dtstart(utc(span.start)));
    icalcomponent_add_property(instance, icalproperty_new_dtend(utc(span.end)));
  }
  if (recurrence_key != nullptr) {
    // The key names the instance as the reader did: a date, or UTC.
    icaltimetype id = icaltime_from_string(recurrence_key->c_str());
    if (!id.is_date) id.zone = Utc();
    icalcomponent_add_property(instance, TimeProperty(ICAL_RECURRENCEID_PROPERTY, id, nullptr));
  }
  return copy.release();
}

}  // namespace

std::string ExpandedCalendarText(std::string_view text, const TimeZone& zone,
                                 const DateTime& start, const DateTime& end) {
  ical::Setup();
  const auto lock = ical::LockZones();
  const Object object = ReadStored(text, zone);
  icalcomponent* calendar = object.calendar.get();
  try {
    const ical::Component out(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    for (icalproperty* p = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY)) {
      icalcomponent_add_property(out.get(), icalproperty_new_clone(p));
    }
    // An instance overlaps the range as calendar programs count it: it
    // starts before the range ends and ends after it starts (an instance
    // of no length: starts within it).
    const auto overlaps = [&](const Span& span) {
      const DateTime first = WallToUtc(span.start, zone);
      const DateTime last = WallToUtc(span.end, zone);
      return first < end && (start < last || (first == last && !(first < start)));
    };
    const auto add = [&](icalcomponent* event, const Span& span, bool whole_day,
                         const std::string* recurrence_key) {
      if (!overlaps(span)) return;
      icalcomponent_add_component(out.get(),
                                  ExpandedInstance(event, span, whole_day, recurrence_key, zone));
    };
    const auto whole_day = [calendar](icalcomponent* event) {
      return TimeOf(icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY), calendar,
                    "DTSTART")
          .is_date;
    };
    const bool recurring =
        !object.overrides.empty() || (object.master != nullptr && HasRecurrence(object.master));
    if (!recurring) {
      if (object.master != nullptr) {
        add(object.master, OverrideSpan(object.master, calendar, zone), whole_day(object.master),
            nullptr);
      }
      return ical::ToText(out.get());
    }
    std::set<std::string> overridden;
    for (const auto& [key, event] : object.overrides) overridden.insert(key);
    if (object.master != nullptr) {
      const Expansion expansion = Expand(object.master, calendar, zone, kStoredInstances);
      for (const Occurrence& o : expansion.occurrences) {
        if (!overridden.contains(o.key)) add(object.master, o.span, o.original.is_date, &o.key);
      }
    }
    for (const auto& [key, event] : object.overrides) {
      if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) continue;
      add(event, OverrideSpan(event, calendar, zone), whole_day(event), &key);
    }
    return ical::ToText(out.get());
  } catch (const ConditionError& e) {
    StoredFault(e);
  }
}

std::string ReplaceMaster(std::string_view kept, const plans::PlanRecord& master,
                          const TimeZone& zone) {
  ical::Setup();
  const auto lock = ical::LockZones();
  const Object object = ReadStored(kept, zone);
  icalcomponent* calendar = object.calendar.get();
  if (object.master == nullptr) return ical::ToText(calendar);
  try {
    icalproperty* dtstart = icalcomponent_get_first_property(object.master, ICAL_DTSTART_PROPERTY);
    const icaltimetype before = TimeOf(dtstart, calendar, "DTSTART");
    // `master` is the first instance as changed; that instance may be
    // another than DTSTART's (left out by an EXDATE), so DTSTART moves by
    // what the first instance moved.
    const Expansion expansion = Expand(object.master, calendar, zone, kStoredInstances);
    if (expansion.occurrences.empty()) return ical::ToText(calendar);
    const Span own = OverrideSpan(object.master, calendar, zone);
    plans::PlanRecord moved_master = master;
    moved_master.start =
        Plus(own.start, SecondsBetween(expansion.occurrences.front().span.start, master.start));
    moved_master.end = Plus(moved_master.start, SecondsBetween(master.start, master.end));
    Apply(object.master, calendar, moved_master, zone);
    const icaltimetype after =
        TimeOf(icalcomponent_get_first_property(object.master, ICAL_DTSTART_PROPERTY), calendar,
               "DTSTART");
    // The instances' recurrence ids and exclusions move with the start, so
    // that they still name the instances they named.
    if (before.is_date == after.is_date) {
      const DateTime a = Civil(before, "DTSTART");
      const DateTime b =
          Civil(icaltime_convert_to_zone(after, const_cast<icaltimezone*>(before.zone)), "DTSTART");
      const long long shift = (b.day() - a.day()) * 86400LL + b.seconds() - a.seconds();
      if (shift != 0) {
        auto moved = [&](icalproperty* p, icaltimetype t) {
          if (!t.is_date && t.zone != nullptr && before.zone != nullptr) {
            t = icaltime_convert_to_zone(t, const_cast<icaltimezone*>(before.zone));
          }
          icaltime_adjust(&t, 0, 0, 0, static_cast<int>(shift));
          return TimeProperty(icalproperty_isa(p), t, p);
        };
        std::vector<std::pair<icalcomponent*, icalproperty*>> old;
        for (icalproperty* p =
                 icalcomponent_get_first_property(object.master, ICAL_EXDATE_PROPERTY);
             p != nullptr;
             p = icalcomponent_get_next_property(object.master, ICAL_EXDATE_PROPERTY)) {
          old.emplace_back(object.master, p);
        }
        for (const auto& [key, event] : object.overrides) {
          old.emplace_back(event,
                           icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY));
        }
        for (const auto& [event, p] : old) {
          const std::string what =
              icalproperty_isa(p) == ICAL_EXDATE_PROPERTY ? "EXDATE" : "RECURRENCE-ID";
          icalproperty* replacement = moved(p, TimeOf(p, calendar, what));
          icalcomponent_remove_property(event, p);
          icalproperty_free(p);
          icalcomponent_add_property(event, replacement);
        }
      }
    }
    return ical::ToText(calendar);
  } catch (const ConditionError& e) {
    StoredFault(e);
  }
}

std::vector<EventInstance> ExpandEventObject(std::string_view kept, const TimeZone& zone,
                                             const EventLimits& limits) {
  return ReadEventObject(kept, zone, limits).instances;
}

}  // namespace ostrand::feeds

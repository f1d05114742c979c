#include "feeds/ical_feed.h"

#include <sodium.h>

#include <algorithm>
#include <climits>
#include <string_view>
#include <utility>

#include "core/error.h"
#include "core/hex.h"
#include "core/sodium_start.h"
#include "core/text.h"
#include "core/utf8.h"
#include "feeds/ical_support.h"

namespace ostrand::feeds {
namespace {

constexpr std::string_view kProductId = "-//ostrand//Schedule feed//ZH";
// How often calendar programs are asked to fetch the feed again.
constexpr int kRefreshMinutes = 30;

// One event as it will be written.
struct Event {
  std::string uid;
  DateTime start;
  DateTime end;
  std::optional<DateTime> modified;
  std::optional<std::int64_t> sequence;
  std::string summary;
  std::string location;
  std::string description;
  std::string category;
  std::optional<bool> shared;                                    // CLASS, own view only
  std::vector<std::pair<std::string_view, std::string>> extras;  // X-OSTRAND-*
};

std::string_view ViewTag(FeedView view) {
  switch (view) {
    case FeedView::kOwn:
      return "own";
    case FeedView::kColleague:
      return "shared";
    case FeedView::kDepartment:
      return "dept";
  }
  return "";
}

void CheckRequest(const FeedRequest& request) {
  if (request.view != FeedView::kDepartment && request.persons.size() != 1) {
    throw Error("a personal feed shows one person, not " + std::to_string(request.persons.size()));
  }
  const std::string_view domain = request.uid_domain;
  const bool domain_ok = !domain.empty() && domain.size() <= 253 &&
                         std::all_of(domain.begin(), domain.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '.' || c == '-';
                         });
  if (!domain_ok) throw Error("invalid UID domain '" + request.uid_domain + "'");
  for (const plans::PersonPlans& person : request.persons) {
    for (const plans::PlanRecord& plan : person.plans) {
      if (plan.id <= 0) {
        throw Error("a plan of person " + std::to_string(person.person_id) + " has no id");
      }
    }
  }
}

Event EventOf(const FeedRequest& request, const plans::PersonPlans& person,
              const plans::PlanRecord& plan) {
  Event event;
  event.uid = "plan-" + std::to_string(plan.id) + "-" + std::string(ViewTag(request.view)) + "@" +
              request.uid_domain;
  event.start = plan.start;
  event.end = plan.end;
  event.modified = plan.last_modified;
  if (plan.revision) event.sequence = std::clamp<std::int64_t>(*plan.revision, 0, INT_MAX);

  const std::string place = CleanText(plan.place);
  switch (request.view) {
    case FeedView::kOwn: {
      const std::string kind = CleanText(plan.kind);
      const std::string detail = CleanText(plan.detail);
      const std::string content = CleanText(plan.content);
      const std::string addition = CleanText(plan.addition);
      const std::string_view shown = TrimWhitespace(content);
      event.summary = shown.empty() ? place : std::string(shown);
      event.location = place;
      if (!place.empty() && !detail.empty()) event.location += ' ';
      event.location += detail;
      event.description = addition;
      event.category = kind;
      event.shared = plan.shared;
      const std::pair<std::string_view, const std::string*> exact[] = {
          {"X-OSTRAND-KIND", &kind},
          {"X-OSTRAND-PLACE", &place},
          {"X-OSTRAND-DETAIL", &detail},
          {"X-OSTRAND-CONTENT", &content},
          {"X-OSTRAND-ADDITION", &addition}};
      for (const auto& [name, text] : exact) {
        if (!text->empty()) event.extras.emplace_back(name, *text);
      }
      break;
    }
    case FeedView::kColleague:
      event.summary = place;
      break;
    case FeedView::kDepartment:
      event.summary = CleanText(person.name) + ": " + place;
      break;
  }
  return event;
}

std::vector<Event> EventsOf(const FeedRequest& request) {
  CheckRequest(request);
  std::vector<Event> events;
  for (const plans::PersonPlans& person : request.persons) {
    for (const plans::PlanRecord& plan : person.plans) {
      if (request.view != FeedView::kOwn && !plan.shared) continue;
      if (plan.end < plan.start || !request.range.Covers(plan.start, plan.end)) continue;
      events.push_back(EventOf(request, person, plan));
    }
  }
  return events;
}

void AddText(icalcomponent* parent, icalproperty* property) {
  icalcomponent_add_property(parent, property);
}

// Our own properties are written as text after libical has written the
// rest: libical leaves commas and semicolons of an X- value raw, since it
// cannot know the value's type, and readers then cut TEXT values there.
using XProperties = std::vector<std::pair<std::string_view, std::string>>;

void AppendXProperties(std::string& out, const XProperties& properties) {
  for (const auto& [name, value] : properties) {
    std::string line(name);
    line += ':';
    AppendEscapedText(line, value);
    AppendFoldedLine(out, line);
  }
}

// `text` (libical's calendar) with the calendar's own properties before its
// first component and each event's before its END:VEVENT, in order. Values
// libical writes escape every line break, so a line "END:VEVENT" ends an
// event.
std::string WithXProperties(std::string_view text, const XProperties& calendar,
                            const std::vector<Event>& events) {
  constexpr std::string_view kEventEnd = "\r\nEND:VEVENT\r\n";
  std::string out;
  out.reserve(text.size() + 256 * events.size());
  std::size_t first = text.find("\r\nBEGIN:", 1);
  if (first == std::string_view::npos) first = text.find("\r\nEND:VCALENDAR");
  if (first == std::string_view::npos) throw Error("cannot write the calendar");
  first += 2;
  out.append(text.substr(0, first));
  AppendXProperties(out, calendar);
  std::size_t at = first;
  for (const Event& event : events) {
    const std::size_t end = text.find(kEventEnd, at);
    if (end == std::string_view::npos) throw Error("cannot write the calendar");
    out.append(text.substr(at, end + 2 - at));
    AppendXProperties(out, event.extras);
    at = end + 2;
  }
  out.append(text.substr(at));
  return out;
}

icalproperty* WithZone(icalproperty* p, const TimeZone& zone) {
  if (!zone.is_utc()) icalproperty_add_parameter(p, icalparameter_new_tzid(zone.name().c_str()));
  return p;
}

icaltimetype WallTime(const DateTime& t, const TimeZone& zone) {
  return zone.is_utc() ? ical::ToIcalUtc(t) : ical::ToIcal(t);
}

// The zone's VTIMEZONE from the system's zoneinfo, its TZID the zone's name.
icalcomponent* ZoneComponent(const TimeZone& zone) {
  icalcomponent* copy = nullptr;
  {
    const auto lock = ical::LockZones();
    copy = icalcomponent_new_clone(icaltimezone_get_component(zone.handle()));
  }
  if (copy == nullptr) throw Error("no VTIMEZONE for time zone '" + zone.name() + "'");
  icalproperty* tzid = icalcomponent_get_first_property(copy, ICAL_TZID_PROPERTY);
  if (tzid != nullptr) {
    icalproperty_set_tzid(tzid, zone.name().c_str());
  } else {
    icalcomponent_add_property(copy, icalproperty_new_tzid(zone.name().c_str()));
  }
  return copy;
}

icalcomponent* EventComponent(const Event& event, const TimeZone& zone) {
  icalcomponent* e = icalcomponent_new_vevent();
  AddText(e, icalproperty_new_uid(event.uid.c_str()));
  // Calendar programs compare DTSTAMP between fetches: without a recorded
  // change it is the start, which moves only with the plan.
  const DateTime stamp = event.modified ? *event.modified : zone.ToUtc(event.start);
  AddText(e, icalproperty_new_dtstamp(ical::ToIcalUtc(stamp)));
  if (event.modified) AddText(e, icalproperty_new_lastmodified(ical::ToIcalUtc(*event.modified)));
  if (event.sequence) AddText(e, icalproperty_new_sequence(static_cast<int>(*event.sequence)));
  AddText(e, WithZone(icalproperty_new_dtstart(WallTime(event.start, zone)), zone));
  if (event.end != event.start) {
    AddText(e, WithZone(icalproperty_new_dtend(WallTime(event.end, zone)), zone));
  }
  AddText(e, icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT));
  if (!event.summary.empty()) AddText(e, icalproperty_new_summary(event.summary.c_str()));
  if (!event.location.empty()) AddText(e, icalproperty_new_location(event.location.c_str()));
  if (!event.description.empty()) {
    AddText(e, icalproperty_new_description(event.description.c_str()));
  }
  if (!event.category.empty()) AddText(e, icalproperty_new_categories(event.category.c_str()));
  if (event.shared) {
    AddText(e, icalproperty_new_class(*event.shared ? ICAL_CLASS_PUBLIC : ICAL_CLASS_PRIVATE));
  }
  return e;
}

// Length-prefixed, so that no two different sequences of fields run together
// into the same bytes.
void AppendField(std::string& out, std::string_view text) {
  out += std::to_string(text.size());
  out += ':';
  out += text;
}

void AppendTime(std::string& out, const std::optional<DateTime>& t) {
  AppendField(out, t ? t->ToText() : "-");
}

}  // namespace

void AppendEscapedText(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\':
      case ',':
      case ';':
        out += '\\';
        out += c;
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        break;
      default:
        out += c;
    }
  }
}

void AppendFoldedLine(std::string& out, std::string_view line) {
  constexpr std::size_t kOctets = 75;
  std::size_t room = kOctets;
  while (line.size() > room) {
    std::size_t cut = room;
    // Never inside a UTF-8 sequence, nor between a backslash and what it
    // escapes.
    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    std::size_t backslashes = 0;
    while (backslashes < cut && line[cut - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 1 && cut > 1) --cut;
    out.append(line.substr(0, cut));
    out += "\r\n ";
    line.remove_prefix(cut);
    room = kOctets - 1;
  }
  out.append(line);
  out += "\r\n";
}

std::string WriteCalendar(const FeedRequest& request, const TimeZone& zone) {
  ical::Setup();
  const std::vector<Event> events = EventsOf(request);

  ical::Component calendar(icalcomponent_new_vcalendar());
  icalcomponent* cal = calendar.get();
  AddText(cal, icalproperty_new_prodid(std::string(kProductId).c_str()));
  AddText(cal, icalproperty_new_version("2.0"));
  AddText(cal, icalproperty_new_calscale("GREGORIAN"));
  XProperties own;
  const std::string name = CleanText(request.calendar_name);
  if (!name.empty()) {
    AddText(cal, icalproperty_new_name(name.c_str()));
    own.emplace_back("X-WR-CALNAME", name);
  }
  if (!zone.is_utc()) own.emplace_back("X-WR-TIMEZONE", zone.name());
  icaldurationtype refresh = icaldurationtype_null_duration();
  refresh.minutes = kRefreshMinutes;
  icalproperty* interval = icalproperty_new_refreshinterval(refresh);
  icalproperty_add_parameter(interval, icalparameter_new_value(ICAL_VALUE_DURATION));
  AddText(cal, interval);
  own.emplace_back("X-PUBLISHED-TTL", "PT" + std::to_string(kRefreshMinutes) + "M");
  if (!zone.is_utc()) icalcomponent_add_component(cal, ZoneComponent(zone));

  for (const Event& event : events) {
    icalcomponent_add_component(cal, EventComponent(event, zone));
  }
  return WithXProperties(ical::ToText(cal), own, events);
}

std::string CalendarETag(const FeedRequest& request, const TimeZone& zone) {
  const std::vector<Event> events = EventsOf(request);
  std::string data = "ostrand-feed-1";
  AppendField(data, ViewTag(request.view));
  AppendField(data, zone.name());
  AppendField(data, request.calendar_name);
  AppendField(data, request.range.first.ToText());
  AppendField(data, request.range.last.ToText());
  for (const Event& e : events) {
    AppendField(data, e.uid);
    AppendTime(data, e.start);
    AppendTime(data, e.end);
    AppendTime(data, e.modified);
    AppendField(data, e.sequence ? std::to_string(*e.sequence) : "-");
    AppendField(data, e.summary);
    AppendField(data, e.location);
    AppendField(data, e.description);
    AppendField(data, e.category);
    AppendField(data, e.shared ? (*e.shared ? "public" : "private") : "-");
    for (const auto& [name, value] : e.extras) {
      AppendField(data, name);
      AppendField(data, value);
    }
    AppendField(data, "end");
  }

  StartSodium();
  unsigned char hash[16];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(data.data()),
                     data.size(), nullptr, 0);
  std::string tag = "W/\"";
  tag += HexText(hash, HexCase::kLower);
  tag += '"';
  return tag;
}

std::optional<DateTime> LatestChange(const FeedRequest& request) {
  std::optional<DateTime> latest;
  for (const Event& e : EventsOf(request)) {
    if (!e.modified) return std::nullopt;
    if (!latest || *e.modified > *latest) latest = e.modified;
  }
  return latest;
}

}  // namespace ostrand::feeds

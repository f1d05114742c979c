#include "feeds/ical_reader.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "core/utf8.h"
#include "feeds/ical_support.h"

namespace ostrand::feeds {
namespace {

struct Line {
  int number;
  std::string_view text;  // without its line break
};

// A component of the file: its lines from BEGIN to END, nested ones included.
struct Chunk {
  std::string name;  // upper case: VEVENT, VTIMEZONE, ...
  std::vector<Line> lines;
  int first_line() const { return lines.front().number; }
  std::string Text() const {
    std::string out;
    for (const Line& line : lines) {
      out += line.text;
      out += "\r\n";
    }
    return out;
  }
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  int number = 1;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({number++, line});
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// "BEGIN" or "END" with the component name, for such a line (not a folded
// continuation).
std::optional<std::pair<bool, std::string>> Boundary(std::string_view line) {
  line = TrimWhitespace(line);
  if (StartsWithNoCase(line, "BEGIN:")) return std::pair{true, Upper(line.substr(6))};
  if (StartsWithNoCase(line, "END:")) return std::pair{false, Upper(line.substr(4))};
  return std::nullopt;
}

// The line of the event where the property `name` starts, or the event's
// first line.
int PropertyLine(const Chunk& event, std::string_view name) {
  for (const Line& line : event.lines) {
    if (StartsWithNoCase(line.text, name) && line.text.size() > name.size() &&
        (line.text[name.size()] == ':' || line.text[name.size()] == ';')) {
      return line.number;
    }
  }
  return event.first_line();
}

// A problem of one event, an Error of kind kBadInput: why (its message) and
// the line it is reported on.
class Refusal : public Error {
 public:
  Refusal(int line, const std::string& reason) : Error(reason, ErrorKind::kBadInput), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

std::string Shown(std::string_view text) {
  std::string out = CleanText(text.substr(0, 120));
  for (char& c : out) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  return out;
}

DateTime CivilTime(const icaltimetype& t, std::string_view what, int line) {
  try {
    return DateTime::FromCivil(t.year, t.month, t.day, t.is_date ? 0 : t.hour,
                               t.is_date ? 0 : t.minute, t.is_date ? 0 : t.second);
  } catch (const Error&) {
    throw Refusal{line, std::string(what) + " '" + icaltime_as_ical_string(t) +
                            "' is not a date and time of years 100 to 9999"};
  }
}

// The wall-clock time of `t` in `zone`. `t` must be a date-time.
DateTime InZone(icaltimetype t, const TimeZone& zone, std::string_view what, int line) {
  CivilTime(t, what, line);  // refuses impossible fields before libical sees them
  if (t.zone != nullptr) {
    t = icaltime_convert_to_zone(t,
                                 zone.is_utc() ? icaltimezone_get_utc_timezone() : zone.handle());
  }
  return CivilTime(t, what, line);
}

// Refuses a TZID that neither the file nor the system knows.
void CheckZone(icalproperty* property, const icaltimetype& t, std::string_view what, int line) {
  icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
  if (tzid != nullptr && t.zone == nullptr && !t.is_date) {
    throw Refusal{line, "unknown time zone '" + Shown(icalparameter_get_tzid(tzid)) + "' in " +
                            std::string(what)};
  }
}

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// The plan of one event. Runs under ical::LockZones(): reading a TZID may
// load a zone of the system's zoneinfo.
plans::ImportedPlan PlanOf(icalcomponent* event, const Chunk& chunk, const TimeZone& zone) {
  const int first = chunk.first_line();
  if (icalcomponent_count_errors(event) > 0) {
    icalproperty* error = icalcomponent_get_first_property(event, ICAL_XLICERROR_PROPERTY);
    throw Refusal{first, "libical cannot read the event: " +
                             Shown(Text(error ? icalproperty_get_xlicerror(error) : nullptr))};
  }
  if (icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) != nullptr ||
      icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY) != nullptr) {
    throw Refusal{
        PropertyLine(chunk, icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) != nullptr
                                ? "RRULE"
                                : "RDATE"),
        "a recurring event: only single events are imported"};
  }
  if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) {
    throw Refusal{PropertyLine(chunk, "STATUS"), "a cancelled event"};
  }

  icalproperty* dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
  if (dtstart == nullptr) throw Refusal{first, "the event has no start (DTSTART)"};
  const int start_line = PropertyLine(chunk, "DTSTART");
  const icaltimetype start = icalcomponent_get_dtstart(event);
  CheckZone(dtstart, start, "DTSTART", start_line);
  icalproperty* dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
  const int end_line = dtend ? PropertyLine(chunk, "DTEND") : PropertyLine(chunk, "DURATION");
  const icaltimetype end = icalcomponent_get_dtend(event);
  if (dtend != nullptr) CheckZone(dtend, end, "DTEND", end_line);

  plans::PlanRecord plan;
  if (start.is_date) {
    plan.start = CivilTime(start, "DTSTART", start_line);
    // An all-day event ends before the date of its end.
    const DateTime after = end.is_date ? CivilTime(end, "DTEND", end_line) : plan.start;
    const DateTime last = after > plan.start ? after.AddDays(-1) : plan.start;
    plan.end = DateTime::FromCivil(last.year(), last.month(), last.day_of_month(), 23, 59);
    if (after < plan.start) {
      throw Refusal{end_line,
                    "ends (" + after.ToText() + ") before it starts (" + plan.start.ToText() + ")"};
    }
  } else {
    plan.start = InZone(start, zone, "DTSTART", start_line);
    plan.end = icaltime_is_null_time(end) ? plan.start : InZone(end, zone, "DTEND", end_line);
  }

  bool exact = false;
  for (icalproperty* x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x != nullptr;
       x = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
    const std::string name = Upper(Text(icalproperty_get_x_name(x)));
    std::string* field = name == "X-OSTRAND-KIND"       ? &plan.kind
                         : name == "X-OSTRAND-PLACE"    ? &plan.place
                         : name == "X-OSTRAND-DETAIL"   ? &plan.detail
                         : name == "X-OSTRAND-CONTENT"  ? &plan.content
                         : name == "X-OSTRAND-ADDITION" ? &plan.addition
                                                        : nullptr;
    if (field == nullptr) continue;
    *field = Text(icalproperty_get_x(x));
    exact = true;
  }
  if (!exact) {
    plan.content = Text(icalcomponent_get_summary(event));
    plan.place = Text(icalcomponent_get_location(event));
    plan.addition = Text(icalcomponent_get_description(event));
    if (icalproperty* c = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY)) {
      const std::string categories = Text(icalproperty_get_categories(c));
      plan.kind = categories.substr(0, categories.find(','));
    }
  }
  plan.kind = TrimBlanks(plan.kind);
  plan.place = TrimBlanks(plan.place);
  if (icalproperty* c = icalcomponent_get_first_property(event, ICAL_CLASS_PROPERTY)) {
    const icalproperty_class access = icalproperty_get_class(c);
    plan.shared = access != ICAL_CLASS_PRIVATE && access != ICAL_CLASS_CONFIDENTIAL;
  }
  std::vector<std::string> flattened = plans::FlattenLineBreaks(plan);
  if (const std::optional<std::string> problem = plans::PlanRecordProblem(plan)) {
    throw Refusal{first, *problem};
  }
  return {first, "", std::move(plan), std::move(flattened)};
}

// The components of the file: the calendars' VTIMEZONEs, their events, and
// problems with the structure.
struct Layout {
  bool calendar = false;
  std::vector<Chunk> zones;
  std::vector<Chunk> events;
  std::vector<plans::ImportProblem> problems;
};

Layout ReadLayout(const std::vector<Line>& lines) {
  Layout layout;
  std::vector<std::string> open;  // names of the open components, outermost first
  std::optional<Chunk> chunk;     // the component at depth 2 being gathered
  for (const Line& line : lines) {
    const bool continuation = !line.text.empty() && (line.text[0] == ' ' || line.text[0] == '\t');
    const auto boundary = continuation ? std::nullopt : Boundary(line.text);
    if (boundary && boundary->first) {
      if (open.empty() && boundary->second == "VCALENDAR") layout.calendar = true;
      open.push_back(boundary->second);
      if (open.size() == 2 && open[0] == "VCALENDAR") chunk = Chunk{boundary->second, {}};
    }
    if (chunk) chunk->lines.push_back(line);
    if (boundary && !boundary->first) {
      if (open.empty() || open.back() != boundary->second) {
        layout.problems.push_back(
            {line.number, "END:" + Shown(boundary->second) + " closes no open component"});
        continue;
      }
      open.pop_back();
      if (chunk && open.size() == 1) {
        if (chunk->name == "VEVENT") {
          layout.events.push_back(std::move(*chunk));
        } else if (chunk->name == "VTIMEZONE") {
          layout.zones.push_back(std::move(*chunk));
        } else {
          layout.problems.push_back(
              {chunk->first_line(), "a " + Shown(chunk->name) + " is no event: not imported"});
        }
        chunk.reset();
      }
    }
  }
  if (chunk) {
    layout.problems.push_back(
        {chunk->first_line(), "BEGIN:" + Shown(chunk->name) + " has no END:" + Shown(chunk->name)});
  }
  return layout;
}

std::string MiB(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// The first property longer than kMaxCalendarLineBytes, folded lines
// joined, as the problem that refuses the file.
std::optional<plans::ImportProblem> LongProperty(const std::vector<Line>& lines) {
  std::size_t length = 0;
  int start = 1;
  for (const Line& line : lines) {
    const bool continuation = !line.text.empty() && (line.text[0] == ' ' || line.text[0] == '\t');
    if (continuation) {
      length += line.text.size() - 1;
    } else {
      length = line.text.size();
      start = line.number;
    }
    if (length > kMaxCalendarLineBytes) {
      return plans::ImportProblem{start, "a property longer than " + MiB(kMaxCalendarLineBytes) +
                                             " (folded lines joined): the file is not read"};
    }
  }
  return std::nullopt;
}

}  // namespace

plans::ImportResult ReadCalendar(std::string_view text, const TimeZone& zone) {
  ical::Setup();
  plans::ImportResult result;
  if (text.size() > plans::kMaxImportFileBytes) {
    result.problems.push_back({1, "the file is longer than " + MiB(plans::kMaxImportFileBytes) +
                                      ": not read"});
    return result;
  }
  const std::vector<Line> lines = SplitLines(text);
  if (std::optional<plans::ImportProblem> problem = LongProperty(lines)) {
    result.problems.push_back(std::move(*problem));
    return result;
  }
  Layout layout = ReadLayout(lines);
  if (!layout.calendar) {
    result.problems.push_back({1, "not an iCalendar file: BEGIN:VCALENDAR is missing"});
    return result;
  }

  // The events are read one by one inside a calendar holding the file's
  // VTIMEZONEs, so that their TZIDs find them.
  std::string zones_text = "BEGIN:VCALENDAR\r\n";
  for (const Chunk& z : layout.zones) zones_text += z.Text();
  zones_text += "END:VCALENDAR\r\n";
  const ical::Component zones = ical::Parse(zones_text);

  for (const Chunk& chunk : layout.events) {
    const ical::Component event = ical::Parse(chunk.Text());
    if (!event || icalcomponent_isa(event.get()) != ICAL_VEVENT_COMPONENT) {
      result.problems.push_back({chunk.first_line(), "libical cannot read the event"});
      continue;
    }
    const auto lock = ical::LockZones();
    if (zones) icalcomponent_add_component(zones.get(), event.get());
    try {
      result.plans.push_back(PlanOf(event.get(), chunk, zone));
    } catch (const Refusal& refusal) {
      result.problems.push_back({refusal.line(), refusal.what()});
    } catch (const Error& e) {
      result.problems.push_back({chunk.first_line(), e.what()});
    }
    if (zones) icalcomponent_remove_component(zones.get(), event.get());
  }
  for (plans::ImportProblem& p : layout.problems) result.problems.push_back(std::move(p));
  std::stable_sort(result.problems.begin(), result.problems.end(),
                   [](const auto& a, const auto& b) { return a.line < b.line; });
  return result;
}

}  // namespace ostrand::feeds

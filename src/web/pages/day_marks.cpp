#include "web/pages/day_marks.h"

#include <nlohmann/json.hpp>

#include "core/html.h"
#include "web/data/holiday_table.h"
#include "web/http/request_values.h"
#include "web/pages/page_paths.h"

namespace ostrand::web {

std::string_view DayKindClass(holidays::DayKind kind) {
  switch (kind) {
    case holidays::DayKind::kWeekend:
      return "weekend";
    case holidays::DayKind::kDayOff:
      return "day-off";
    case holidays::DayKind::kWorkingDay:
      return "workday";
    case holidays::DayKind::kWorkday:
      break;
  }
  return {};
}

std::string DayClasses(const DateTime& day, const DateTime& today,
                       const holidays::HolidayCalendar& calendar) {
  std::string classes(DayKindClass(calendar.KindOf(day)));
  if (day.day() == today.day()) classes += classes.empty() ? "today" : " today";
  return classes;
}

std::string_view HolidayTag(Language language, const holidays::Holiday& day) {
  return Text(language, day.day_off ? MessageId::kDayOffTag : MessageId::kWorkingDayTag);
}

std::string HolidayTip(Language language, const holidays::Holiday& day) {
  std::string tip = Format(language, MessageId::kHolidayTip, {day.name, HolidayTag(language, day)});
  if (day.demo) tip = Format(language, MessageId::kDemoNote, {tip});
  return tip;
}

std::string ShortDate(Language language, const DateTime& day) {
  return Format(language, MessageId::kShortDate,
                {MonthName(language, day.month()), std::to_string(day.day_of_month())});
}

holidays::HolidayCalendar HolidaysOf(PageRequest& request, const DateTime& first,
                                     const DateTime& last) {
  return holidays::HolidayCalendar(holidays::HolidaysBetween(request.db, first, last));
}

namespace {

// A text as a JSON string; names that are no valid UTF-8 show U+FFFD
// rather than fail the page.
void AppendJsonText(std::string& out, std::string_view text) {
  out += nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void AppendDayMarks(std::string& out, Language language, const DateTime& today, const DateTime& first,
                    const DateTime& last, const holidays::HolidayCalendar& calendar,
                    std::optional<DateTime> columns_from) {
  // {"YYYY-MM-DD":["kind"(,"name","tip","tag")],...}: the days in order,
  // which is the order of their keys. Kinds and dates need no escaping.
  std::string days = "{";
  for (std::int64_t d = first.day(); d <= last.day(); ++d) {
    const DateTime day = DateTime::FromSerial(d);
    const std::string_view kind = DayKindClass(calendar.KindOf(day));
    if (kind.empty()) continue;
    if (days.size() > 1) days += ',';
    days += '"';
    days += IsoDate(day);
    days += "\":[\"";
    days += kind;
    days += '"';
    if (const holidays::Holiday* entry = calendar.Find(day)) {
      days += ',';
      AppendJsonText(days, entry->name);
      days += ',';
      AppendJsonText(days, HolidayTip(language, *entry));
      days += ',';
      AppendJsonText(days, HolidayTag(language, *entry));
    }
    days += ']';
  }
  days += '}';
  out += "<div id=\"day-marks\" hidden data-today=\"";
  out += IsoDate(today);
  out += "\" data-days=\"";
  AppendEscapedHtml(out, days);
  out += '"';
  if (columns_from) {
    out += " data-columns-from=\"";
    out += IsoDate(*columns_from);
    out += '"';
  }
  out += "></div>\n<script src=\"";
  AppendEscapedHtml(out, kDayMarksScript);
  out += "\" defer></script>\n";
}

void AppendHolidayNotes(std::string& out, Language language, const DateTime& first, const DateTime& last,
                        const holidays::HolidayCalendar& calendar) {
  bool any = false;
  for (const holidays::Holiday* entry : calendar.Entries()) {
    if (entry->date < first.DateOnly() || last.DateOnly() < entry->date) continue;
    if (!any) out += "<ul class=\"day-notes\">\n";
    any = true;
    out += "<li class=\"";
    out += DayKindClass(holidays::KindOfDay(entry->date, entry));
    out += "\"><time datetime=\"";
    out += IsoDate(entry->date);
    out += "\">";
    AppendEscapedHtml(out, ShortDate(language, entry->date));
    out += "</time> ";
    AppendEscapedHtml(out, HolidayTip(language, *entry));
    out += "</li>\n";
  }
  if (any) out += "</ul>\n";
}

DateTime MondayOf(const DateTime& day) {
  // weekday(): Sunday 1, Monday 2 .. Saturday 7.
  return day.DateOnly().AddDays(-((day.weekday() + 5) % 7));
}

}  // namespace ostrand::web

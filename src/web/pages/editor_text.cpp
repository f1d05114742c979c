#include "web/pages/editor_text.h"

#include "calendar/weekday_caption.h"
#include "core/date_text.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/pages/page_paths.h"

namespace ostrand::web::editor {

std::string DayText(Language language, const DateTime& day) {
  const CivilDate civil = day.civil();
  return Format(language, MessageId::kDate,
                {std::to_string(civil.year), MonthName(language, civil.month),
                 std::to_string(civil.day)});
}

std::string ShortDayText(Language language, const DateTime& day) {
  return Format(language, MessageId::kShortDate,
                {MonthName(language, day.month()), std::to_string(day.day_of_month())});
}

std::string DayHeading(Language language, const DateTime& day) {
  return Format(language, MessageId::kDayHeading,
                {DayText(language, day), WeekdayName(language, day.weekday())});
}

std::string Say(Language language, MessageId id) { return std::string(Text(language, id)); }
std::string EditorAddress(const EditorTarget& target, const DateTime& day,
                          std::initializer_list<http::QueryItem> more) {
  const std::string person = std::to_string(target.person_id);
  const std::string dt = IsoDate(day);
  std::string address =
      http::LinkWithQuery(kEditorPath, {{"personID", person}, {"dt", dt}});
  for (const http::QueryItem& item : more) {
    address += '&';
    address += item.name;
    address += '=';
    http::AppendPercentEncoded(address, item.value);
  }
  return address;
}

std::string TimeRange(const StoredPlan& plan, const DateTime& day) {
  if (plan.start && plan.end && plan.start->day() == day.day() && plan.end->day() == day.day()) {
    return ClockText(*plan.start) + "–" + ClockText(*plan.end);
  }
  const auto show = [](const std::optional<DateTime>& time, const std::string& text) {
    return time ? IsoDate(*time) + " " + ClockText(*time) : text;
  };
  return show(plan.start, plan.start_text) + " – " + show(plan.end, plan.end_text);
}

// How a message names a plan: its content (else its place, else its kind)
// in quotes, and when it runs.
std::string PlanLabel(Language language, const StoredPlan& plan) {
  std::string what = plan.content.value_or("");
  if (what.empty()) what = plan.place_name;
  if (what.empty()) what = plan.kind_name;
  std::string when;
  if (plan.start && plan.end && plan.start->day() == plan.end->day()) {
    when = ShortDayText(language, *plan.start) + " " + ClockText(*plan.start) + "–" +
           ClockText(*plan.end);
  } else if (plan.start && plan.end) {
    when = ShortDayText(language, *plan.start) + " " + ClockText(*plan.start) + " – " +
           ShortDayText(language, *plan.end) + " " + ClockText(*plan.end);
  } else {
    when = plan.start_text + " – " + plan.end_text;
  }
  return Format(language, MessageId::kPlanLabel, {what, when});
}

// The warning that a plan overlaps `count` others of the same person,
// naming `named` (at most kNamedOverlaps of them).
std::optional<std::string> OverlapWarning(Language language,
                                          const std::vector<const StoredPlan*>& named,
                                          std::size_t count) {
  if (count == 0) return std::nullopt;
  std::string names;
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (i > 0) names += Text(language, MessageId::kListSeparator);
    names += PlanLabel(language, *named[i]);
  }
  if (count > named.size()) {
    names = Format(language, MessageId::kOverlapMore, {names, std::to_string(count - named.size())});
  }
  return Format(language, MessageId::kOverlapWarning, {names});
}

std::optional<std::string> OverlapWarning(Language language,
                                          const std::vector<StoredPlan>& others) {
  std::vector<const StoredPlan*> named;
  for (std::size_t i = 0; i < others.size() && i < kNamedOverlaps; ++i) {
    named.push_back(&others[i]);
  }
  return OverlapWarning(language, named, others.size());
}

// Whether two stored plans overlap in time (those starting together do).
bool Overlap(const StoredPlan& a, const StoredPlan& b) {
  if (!a.start || !a.end || !b.start || !b.end) return false;
  return *a.start == *b.start || (*a.start < *b.end && *b.start < *a.end);
}

std::string FullDayMessage(Language language, const DateTime& day, std::size_t limit) {
  return Format(language, MessageId::kDayFull, {DayText(language, day), std::to_string(limit)});
}

}  // namespace ostrand::web::editor

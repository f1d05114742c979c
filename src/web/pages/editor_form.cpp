#include "web/pages/editor_form.h"

#include <algorithm>
#include <utility>

#include "core/utf8.h"
#include "web/http/request_values.h"
#include "web/pages/day_marks.h"
#include "web/pages/editor_text.h"
#include "web/pages/html_form.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web::editor {
namespace {

// Whether the text begins with a year the pages cannot show (before 100 or
// after 9999), as a date picker lets one type.
bool YearOutOfRange(std::string_view text) {
  const std::size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || text[digits] != '-') return false;
  const std::optional<std::int64_t> year = ReadWholeNumber(text.substr(0, digits), 1000000);
  return !year || *year < 100 || *year > 9999;
}

std::optional<std::int64_t> ReadFormId(const std::string& text) {
  return ReadWholeNumber(text, kLargestExactId);
}

std::optional<std::string> NullWhenEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace

EditorTarget ReadTarget(PageRequest& request) {
  EditorTarget target;
  const std::optional<std::string> person = FindField(request.query, "personID");
  target.person_id = person && !person->empty() ? ReadPersonIdValue("personID", *person)
                                                : request.visitor.person.id;
  RequireSelf(request.visitor, target.person_id);
  const std::optional<std::string> dt = FindField(request.query, "dt");
  target.day = dt && !dt->empty() ? ReadDayValue("dt", *dt) : TodayOf(request.options);
  return target;
}

// An id of the query or form, or nothing when the field is missing or
// empty. Throws HttpError 400 naming the field when it is no id.
std::optional<std::int64_t> ReadIdField(const FormFields& fields, std::string_view name) {
  const std::string text = FieldOrEmpty(fields, name);
  if (text.empty()) return std::nullopt;
  return ReadPersonIdValue(name, text);
}

PlanFields DefaultFields(const DateTime& day, const std::vector<PlaceKind>& kinds) {
  PlanFields fields;
  fields.start = FormDateTime(DateTime::FromSerial(day.day(), 9 * 3600));
  fields.end = FormDateTime(DateTime::FromSerial(day.day(), 17 * 3600 + 30 * 60));
  if (!kinds.empty()) fields.kind = std::to_string(kinds.front().id);
  fields.flag = std::to_string(store::kSharedPlanFlag);
  return fields;
}

PlanFields FieldsOfPlan(const StoredPlan& plan) {
  PlanFields fields;
  fields.plan_id = std::to_string(plan.id);
  fields.start = plan.start ? FormDateTime(*plan.start) : plan.start_text;
  fields.end = plan.end ? FormDateTime(*plan.end) : plan.end_text;
  if (plan.kind_id) fields.kind = std::to_string(*plan.kind_id);
  if (plan.place_id) fields.place = std::to_string(*plan.place_id);
  fields.detail = plan.detail.value_or("");
  fields.content = plan.content.value_or("");
  fields.addition = plan.addition.value_or("");
  fields.flag = std::to_string(plan.flag.value_or(store::kSharedPlanFlag));
  return fields;
}

PlanFields FieldsOfForm(const FormFields& form) {
  PlanFields fields;
  fields.plan_id = FieldOrEmpty(form, "planID");
  fields.start = FieldOrEmpty(form, "start");
  fields.end = FieldOrEmpty(form, "end");
  fields.kind = FieldOrEmpty(form, "kind");
  fields.place = FieldOrEmpty(form, "place");
  fields.detail = FieldOrEmpty(form, "detail");
  fields.content = FieldOrEmpty(form, "content");
  fields.addition = FieldOrEmpty(form, "addition");
  fields.flag = FieldOrEmpty(form, "flag");
  return fields;
}

// The copy form as the editor first shows it: the week after the plan's
// day, Monday to Friday, days off left out.
CopyFields DefaultCopyFields(const StoredPlan& plan, const DateTime& day) {
  CopyFields fields;
  fields.plan_id = std::to_string(plan.id);
  // From the day after the plan's for a week, within the calendar.
  const std::int64_t last = DateTime::FromCivil(9999, 12, 31).day();
  const std::int64_t from =
      std::min((plan.start ? plan.start->day() : day.day()) + 1, last);
  fields.from = IsoDate(DateTime::FromSerial(from));
  fields.to = IsoDate(DateTime::FromSerial(std::min(from + 6, last)));
  fields.weekdays = {1, 2, 3, 4, 5};
  return fields;
}

CopyFields CopyFieldsOfForm(const FormFields& form) {
  CopyFields fields;
  fields.plan_id = FieldOrEmpty(form, "planID");
  fields.from = FieldOrEmpty(form, "from");
  fields.to = FieldOrEmpty(form, "to");
  const auto [first, last] = form.equal_range("weekday");
  for (auto it = first; it != last; ++it) {
    if (const std::optional<std::int64_t> day = ReadWholeNumber(it->second, 7); day && *day >= 1) {
      fields.weekdays.insert(static_cast<int>(*day));
    }
  }
  fields.skip_days_off = FindField(form, "skipDaysOff").has_value();
  return fields;
}

// The message for a date or time of the form that does not read: `bad`,
// or the range of the pages when the year lies outside it.
std::string UnreadableTime(Language language, MessageId bad, const std::string& text) {
  return Format(language, YearOutOfRange(text) ? MessageId::kOutOfShownRange : bad,
                {CleanText(text)});
}

// The plan the fields describe, or the messages that say what is wrong.
std::variant<PlanInput, std::vector<std::string>> CheckFields(Language language,
                                                              const PlanFields& fields,
                                                              const std::vector<PlaceKind>& kinds,
                                                              const std::vector<Place>& places,
                                                              std::int64_t max_plan_days) {
  std::vector<std::string> messages;
  const std::optional<DateTime> start = DateTime::Parse(fields.start);
  const std::optional<DateTime> end = DateTime::Parse(fields.end);
  if (!start) messages.push_back(UnreadableTime(language, MessageId::kBadStart, fields.start));
  if (!end) messages.push_back(UnreadableTime(language, MessageId::kBadEnd, fields.end));
  if (start && end && *end < *start) messages.push_back(Say(language, MessageId::kEndBeforeStart));
  if (start && end && end->day() - start->day() + 1 > max_plan_days) {
    messages.push_back(Format(language, MessageId::kPlanTooLong,
                              {std::to_string(end->day() - start->day() + 1),
                               std::to_string(max_plan_days)}));
  }
  // A plan must show on every page it can be opened from.
  const DayRange showable = DaysEveryPageShows();
  if ((start && !showable.Contains(*start)) || (end && !showable.Contains(*end))) {
    messages.push_back("日程须在 " + IsoDate(showable.first) + " 至 " + IsoDate(showable.last) +
                       " 之间，页面才能显示。");
  }

  const std::optional<std::int64_t> kind_id = ReadFormId(fields.kind);
  const PlaceKind* kind = nullptr;
  for (const PlaceKind& k : kinds) {
    if (kind_id && k.id == *kind_id) kind = &k;
  }
  if (kind == nullptr) messages.push_back(Say(language, MessageId::kChooseKind));
  const std::optional<std::int64_t> place_id = ReadFormId(fields.place);
  const Place* place = nullptr;
  for (const Place& p : places) {
    if (place_id && p.id == *place_id) place = &p;
  }
  if (place == nullptr) {
    messages.push_back(Say(language, MessageId::kChoosePlace));
  } else if (kind != nullptr && place->kind_id && *place->kind_id != kind->id) {
    messages.push_back(Format(language, MessageId::kPlaceNotOfKind, {place->name, kind->name}));
  }
  const std::optional<std::int64_t> flag = ReadFormId(fields.flag);
  if (!flag || (*flag != store::kSharedPlanFlag && *flag != store::kPrivatePlanFlag)) {
    messages.push_back(Say(language, MessageId::kChooseFlag));
  }
  const std::pair<MessageId, const std::string*> texts[] = {{MessageId::kDetail, &fields.detail},
                                                           {MessageId::kContent, &fields.content},
                                                           {MessageId::kAddition, &fields.addition}};
  // Pages show these texts as they are; line breaks, NUL and the like do
  // not belong in a one-line field. Imports keep the same rule.
  for (const auto& [caption, text] : texts) {
    switch (plans::CheckPlanText(*text)) {
      case plans::PlanTextFault::kNone:
        break;
      case plans::PlanTextFault::kNotUtf8:
        messages.push_back(Format(language, MessageId::kTextNotUtf8, {Text(language, caption)}));
        break;
      case plans::PlanTextFault::kControl:
        messages.push_back(Format(language, MessageId::kTextHasControl, {Text(language, caption)}));
        break;
      case plans::PlanTextFault::kTooLong:
        messages.push_back(Format(language, MessageId::kTextTooLong,
                                  {Text(language, caption), std::to_string(kMaxTextLength)}));
        break;
    }
  }
  if (!messages.empty()) return messages;

  PlanInput plan;
  plan.start = *start;
  plan.end = *end;
  plan.kind_id = kind->id;
  plan.place_id = place->id;
  plan.detail = NullWhenEmpty(fields.detail);
  plan.content = NullWhenEmpty(fields.content);
  plan.addition = NullWhenEmpty(fields.addition);
  plan.flag = *flag;
  return plan;
}

// The copies the form asks for, or the messages that say what is wrong.
std::variant<std::vector<PlanInput>, std::vector<std::string>> PlanCopies(
    PageRequest& request, const StoredPlan& plan, const CopyFields& fields) {
  const Language language = request.language;
  std::vector<std::string> messages;
  if (!plan.start || !plan.end || !plan.kind_id || !plan.place_id || !plan.flag) {
    messages.push_back(Say(language, MessageId::kPlanIncomplete));
    return messages;
  }
  const std::optional<DateTime> from = DateTime::Parse(fields.from);
  const std::optional<DateTime> to = DateTime::Parse(fields.to);
  if (!from) messages.push_back(UnreadableTime(language, MessageId::kBadFromDate, fields.from));
  if (!to) messages.push_back(UnreadableTime(language, MessageId::kBadToDate, fields.to));
  if (from && to && to->day() < from->day()) {
    messages.push_back(Say(language, MessageId::kToBeforeFrom));
  }
  if (from && to && to->day() - from->day() + 1 > kMaxCopyDays) {
    messages.push_back(
        Format(language, MessageId::kCopyRangeTooLong, {std::to_string(kMaxCopyDays)}));
  }
  if (fields.weekdays.empty()) messages.push_back(Say(language, MessageId::kChooseWeekday));
  if (!messages.empty()) return messages;

  const std::int64_t length = plan.end->day() - plan.start->day();
  // A copy of a plan over several days must end within the shown dates too.
  const std::int64_t last_day = DateTime::FromCivil(9999, 12, 31).day();
  if (to->day() + length > last_day) {
    messages.push_back(Say(language, MessageId::kCopyEndsTooLate));
    return messages;
  }
  const holidays::HolidayCalendar calendar = HolidaysOf(request, *from, *to);
  std::vector<PlanInput> copies;
  for (std::int64_t d = from->day(); d <= to->day(); ++d) {
    const DateTime day = DateTime::FromSerial(d);
    const int weekday = (day.weekday() + 5) % 7 + 1;  // Monday 1 .. Sunday 7
    if (!fields.weekdays.contains(weekday) || d == plan.start->day()) continue;
    if (fields.skip_days_off && calendar.KindOf(day) == holidays::DayKind::kDayOff) continue;
    PlanInput copy;
    copy.start = DateTime::FromSerial(d, plan.start->seconds());
    copy.end = DateTime::FromSerial(d + length, plan.end->seconds());
    copy.kind_id = *plan.kind_id;
    copy.place_id = *plan.place_id;
    copy.detail = plan.detail;
    copy.content = plan.content;
    copy.addition = plan.addition;
    copy.flag = *plan.flag;
    copies.push_back(std::move(copy));
  }
  if (copies.empty()) messages.push_back(Say(language, MessageId::kNoCopyDays));
  if (!messages.empty()) return messages;
  return copies;
}

}  // namespace ostrand::web::editor

#include "web/pages/editor_page.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>
#include <variant>
#include <vector>

#include "calendar/weekday_caption.h"
#include "core/html.h"
#include "core/utf8.h"
#include "plans/plan_import.h"
#include "web/data/plan_repository.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/day_marks.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web {
namespace {

// The longest detail, content or addition, in characters. Every view and
// summary repeats a plan's text on each day it covers, so one unbounded
// field could swell every page that shows it.
constexpr std::size_t kMaxTextLength = plans::kMaxPlanTextLength;

// The longest stretch of days a plan is copied over at once.
constexpr std::int64_t kMaxCopyDays = 366;

// Whose day the editor shows; the visitor's own only.
struct EditorTarget {
  std::int64_t person_id = 0;
  DateTime day;
};

// The form's fields as typed (or as stored, or the defaults of a new plan).
struct PlanFields {
  std::string plan_id;
  std::string start;
  std::string end;
  std::string kind;
  std::string place;
  std::string detail;
  std::string content;
  std::string addition;
  std::string flag;
};

// The copy form's fields: the plan, the first and last day, the weekdays
// (1 Monday .. 7 Sunday) and whether days off are left out.
struct CopyFields {
  std::string plan_id;
  std::string from;
  std::string to;
  std::set<int> weekdays;
  bool skip_days_off = true;
};

// Everything the day page shows besides the day's plans.
struct EditorView {
  PlanFields fields;                    // the plan form
  std::vector<std::string> messages;    // what is wrong with the plan form
  std::vector<std::string> notices;     // what was just done
  std::vector<std::string> warnings;    // plans that overlap
  std::optional<DeletedPlan> undo;      // the delete just done, offered for undoing
  std::optional<StoredPlan> confirm;    // the plan whose delete is to be confirmed
  std::optional<StoredPlan> copy;       // the plan the copy form copies
  CopyFields copy_fields;
  std::vector<std::string> copy_messages;
  int status = 200;
};

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

std::string ClockText(const DateTime& time) {
  char buffer[32];  // room for any int, which keeps the compiler's format check quiet
  std::snprintf(buffer, sizeof buffer, "%02d:%02d", time.hour(), time.minute());
  return buffer;
}

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
                          std::initializer_list<http::QueryItem> more = {}) {
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

// Whether the text begins with a year the pages cannot show (before 100 or
// after 9999), as a date picker lets one type.
bool YearOutOfRange(std::string_view text) {
  const std::size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || text[digits] != '-') return false;
  const std::optional<std::int64_t> year = ReadWholeNumber(text.substr(0, digits), 1000000);
  return !year || *year < 100 || *year > 9999;
}

// The message for a date or time of the form that does not read: `bad`,
// or the range of the pages when the year lies outside it.
std::string UnreadableTime(Language language, MessageId bad, const std::string& text) {
  return Format(language, YearOutOfRange(text) ? MessageId::kOutOfShownRange : bad,
                {CleanText(text)});
}

std::optional<std::int64_t> ReadFormId(const std::string& text) {
  return ReadWholeNumber(text, kLargestExactId);
}

std::optional<std::string> NullWhenEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
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

// How many other plans an overlap warning names; it counts the rest, so
// that a day of many plans gives notes of bounded length.
constexpr std::size_t kNamedOverlaps = 3;

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

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

void AppendHeading(std::string& out, Language language, MessageId id) {
  out += "<h2>";
  AppendEscapedHtml(out, Text(language, id));
  out += "</h2>\n";
}

void AppendLink(std::string& out, const std::string& href, Language language, MessageId caption,
                std::string_view attributes = {}) {
  out += "<a";
  out += attributes;
  out += " href=\"";
  AppendEscapedHtml(out, href);
  out += "\">";
  AppendEscapedHtml(out, Text(language, caption));
  out += "</a>";
}

void AppendMessages(std::string& out, std::string_view css_class,
                    const std::vector<std::string>& messages) {
  if (messages.empty()) return;
  out += "<ul class=\"";
  out += css_class;
  out += css_class == "error" ? "\" role=\"alert\">\n" : "\">\n";
  for (const std::string& message : messages) {
    out += "<li>";
    AppendEscapedHtml(out, message);
    out += "</li>\n";
  }
  out += "</ul>\n";
}

void AppendPlanList(std::string& out, Language language, const EditorTarget& target,
                    const std::vector<StoredPlan>& plans) {
  AppendHeading(out, language, MessageId::kDayPlans);
  if (plans.empty()) {
    out += "<p class=\"empty\">";
    AppendEscapedHtml(out, Text(language, MessageId::kNoPlansThatDay));
    out += "</p>\n";
    return;
  }
  out += "<table class=\"day-plans\">\n<tr>";
  for (const MessageId column : {MessageId::kTime, MessageId::kKind, MessageId::kPlace,
                                 MessageId::kDetail, MessageId::kContent, MessageId::kAddition,
                                 MessageId::kFlag, MessageId::kActions}) {
    out += "<th scope=\"col\">";
    AppendEscapedHtml(out, Text(language, column));
    out += "</th>";
  }
  out += "</tr>\n";
  for (const StoredPlan& plan : plans) {
    std::vector<const StoredPlan*> named;
    std::size_t overlapping = 0;
    for (const StoredPlan& other : plans) {
      if (other.id == plan.id || !Overlap(plan, other)) continue;
      if (++overlapping <= kNamedOverlaps) named.push_back(&other);
    }
    out += overlapping == 0 ? "<tr>" : "<tr class=\"overlapping\">";
    AppendCell(out, TimeRange(plan, target.day));
    AppendCell(out, plan.kind_name);
    AppendCell(out, plan.place_name);
    AppendCell(out, plan.detail.value_or(""));
    out += "<td>";
    AppendEscapedHtml(out, plan.content.value_or(""));
    if (const std::optional<std::string> warning = OverlapWarning(language, named, overlapping)) {
      out += " <span class=\"overlap\" title=\"";
      AppendEscapedHtml(out, *warning);
      out += "\">";
      AppendEscapedHtml(out, Text(language, MessageId::kOverlapTag));
      out += "</span>";
    }
    out += "</td>";
    AppendCell(out, plan.addition.value_or(""));
    AppendCell(out, Text(language, plan.flag == store::kSharedPlanFlag ? MessageId::kShared
                                                            : MessageId::kPrivate));
    const std::string id = std::to_string(plan.id);
    out += "<td class=\"actions\">";
    AppendLink(out, EditorAddress(target, target.day, {{"planID", id}}), language, MessageId::kEdit);
    out += ' ';
    AppendLink(out, EditorAddress(target, target.day, {{"copy", id}}), language, MessageId::kCopy);
    out += ' ';
    AppendLink(out, EditorAddress(target, target.day, {{"delete", id}}), language,
               MessageId::kDelete, " class=\"delete\"");
    out += "</td></tr>\n";
  }
  out += "</table>\n";
}

void AppendTextField(std::string& out, std::string_view name, std::string_view caption,
                     std::string_view value) {
  AppendLabelledInput(out, caption, "text", name, value,
                      "maxlength=\"" + std::to_string(kMaxTextLength) + "\"");
}

void AppendPlanForm(std::string& out, Language language, const EditorTarget& target,
                    const PlanFields& fields,
                    const std::vector<std::string>& messages, const std::vector<PlaceKind>& kinds,
                    const std::vector<Place>& places, const std::string& csrf) {
  AppendHeading(out, language, fields.plan_id.empty() ? MessageId::kNewPlan : MessageId::kChangePlan);
  if (!messages.empty()) {
    out += "<div role=\"alert\">\n<ul class=\"error\">\n";
    for (const std::string& message : messages) {
      out += "<li>";
      AppendEscapedHtml(out, message);
      out += "</li>\n";
    }
    out += "</ul>\n</div>\n";
  }
  AppendFormStart(out, "post", EditorAddress(target, target.day), "editor");
  out += '\n';
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "save");
  AppendHiddenField(out, "planID", fields.plan_id);
  out += '\n';
  const std::string_view choose = Text(language, MessageId::kChoose);
  AppendLabelledInput(out, Text(language, MessageId::kStart), "datetime-local", "start",
                      fields.start);
  AppendLabelledInput(out, Text(language, MessageId::kEnd), "datetime-local", "end", fields.end);
  AppendSelectStart(out, Text(language, MessageId::kKind), "kind");
  if (fields.kind.empty()) AppendOption(out, "", choose, true);
  for (const PlaceKind& kind : kinds) {
    const std::string id = std::to_string(kind.id);
    AppendOption(out, id, kind.name, id == fields.kind);
  }
  AppendSelectEnd(out);
  AppendSelectStart(out, Text(language, MessageId::kPlace), "place");
  AppendOption(out, "", choose, fields.place.empty());
  // Places grouped under their kind; places of no known kind come last.
  std::vector<bool> shown(places.size(), false);
  const auto append_group = [&](std::string_view label, auto belongs) {
    bool opened = false;
    for (std::size_t i = 0; i < places.size(); ++i) {
      if (shown[i] || !belongs(places[i])) continue;
      if (!opened) {
        AppendOptionGroupStart(out, label);
        opened = true;
      }
      shown[i] = true;
      const std::string id = std::to_string(places[i].id);
      AppendOption(out, id, places[i].name, id == fields.place);
    }
    if (opened) out += "</optgroup>\n";
  };
  for (const PlaceKind& kind : kinds) {
    append_group(kind.name, [&](const Place& p) { return p.kind_id == kind.id; });
  }
  append_group(Text(language, MessageId::kOtherPlaces), [](const Place&) { return true; });
  AppendSelectEnd(out);
  AppendTextField(out, "detail", Text(language, MessageId::kDetail), fields.detail);
  AppendTextField(out, "content", Text(language, MessageId::kContent), fields.content);
  AppendTextField(out, "addition", Text(language, MessageId::kAddition), fields.addition);
  const std::string shared = std::to_string(store::kSharedPlanFlag);
  const std::string priv = std::to_string(store::kPrivatePlanFlag);
  out += "<fieldset class=\"flag\"><legend>";
  AppendEscapedHtml(out, Text(language, MessageId::kFlag));
  out += "</legend>\n";
  AppendRadioButton(out, "flag", shared, Text(language, MessageId::kShared), fields.flag == shared);
  AppendRadioButton(out, "flag", priv, Text(language, MessageId::kPrivate), fields.flag == priv);
  out += "</fieldset>\n";
  AppendSubmitButton(out, Text(language, MessageId::kSave));
  out += '\n';
  if (!fields.plan_id.empty()) {
    AppendLink(out, EditorAddress(target, target.day), language, MessageId::kCancelChange);
    out += '\n';
  }
  out += "</form>\n";
}

// What was just done, the warnings, and the undo of a delete.
void AppendNotices(std::string& out, Language language, const EditorTarget& target,
                   const EditorView& view,
                   const std::string& csrf) {
  if (view.notices.empty() && view.warnings.empty()) return;
  out += "<div class=\"notice\" role=\"status\">\n";
  for (const std::string& notice : view.notices) {
    out += "<p>";
    AppendEscapedHtml(out, notice);
    out += "</p>\n";
  }
  if (view.undo) {
    AppendFormStart(out, "post", EditorAddress(target, target.day), "undo");
    AppendHiddenField(out, "csrf", csrf);
    AppendHiddenField(out, "action", "restore");
    AppendHiddenField(out, "deletedID", std::to_string(view.undo->deleted_id));
    AppendSubmitButton(out, Text(language, MessageId::kUndoDelete));
    out += "</form>\n";
  }
  for (const std::string& warning : view.warnings) {
    out += "<p class=\"warning\">";
    AppendEscapedHtml(out, warning);
    out += "</p>\n";
  }
  out += "</div>\n";
}

void AppendDeleteConfirmation(std::string& out, Language language, const EditorTarget& target,
                              const StoredPlan& plan, const std::string& csrf) {
  out += "<div class=\"confirm\" role=\"alertdialog\" aria-labelledby=\"confirm-delete\">\n"
         "<p id=\"confirm-delete\">";
  AppendEscapedHtml(out, Format(language, MessageId::kConfirmDelete,
                                {PlanLabel(language, plan), std::to_string(kKeepDeletedDays)}));
  out += "</p>\n";
  AppendFormStart(out, "post", EditorAddress(target, target.day));
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "delete");
  AppendHiddenField(out, "planID", std::to_string(plan.id));
  AppendSubmitButton(out, Text(language, MessageId::kDelete));
  out += ' ';
  AppendLink(out, EditorAddress(target, target.day), language, MessageId::kCancel);
  out += "</form>\n</div>\n";
}

void AppendCopyForm(std::string& out, Language language, const EditorTarget& target,
                    const StoredPlan& plan,
                    const CopyFields& fields, const std::vector<std::string>& messages,
                    const std::string& csrf) {
  AppendHeading(out, language, MessageId::kCopyPlan);
  out += "<p>";
  AppendEscapedHtml(out, Format(language, MessageId::kCopyPlanIntro, {PlanLabel(language, plan)}));
  out += "</p>\n";
  AppendMessages(out, "error", messages);
  AppendFormStart(out, "post", EditorAddress(target, target.day), "copy");
  out += '\n';
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "copy");
  AppendHiddenField(out, "planID", fields.plan_id);
  out += '\n';
  AppendLabelledInput(out, Text(language, MessageId::kCopyFrom), "date", "from", fields.from);
  AppendLabelledInput(out, Text(language, MessageId::kCopyTo), "date", "to", fields.to);
  out += "<fieldset class=\"weekdays\"><legend>";
  AppendEscapedHtml(out, Text(language, MessageId::kEveryWeek));
  out += "</legend>\n";
  for (int weekday = 1; weekday <= 7; ++weekday) {
    const std::string value = std::to_string(weekday);
    out += "<label><input type=\"checkbox\" name=\"weekday\" value=\"";
    out += value;
    out += fields.weekdays.contains(weekday) ? "\" checked> " : "\"> ";
    AppendEscapedHtml(out, WeekdayName(language, weekday % 7 + 1));
    out += "</label>\n";
  }
  out += "</fieldset>\n<label><input type=\"checkbox\" name=\"skipDaysOff\" value=\"1\"";
  out += fields.skip_days_off ? " checked" : "";
  out += "> ";
  AppendEscapedHtml(out, Text(language, MessageId::kSkipDaysOff));
  out += "</label>\n";
  AppendSubmitButton(out, Text(language, MessageId::kCopy));
  out += '\n';
  AppendLink(out, EditorAddress(target, target.day), language, MessageId::kCancel);
  out += "\n</form>\n";
}

PageReply EditorPage(PageRequest& request, const EditorTarget& target, const EditorView& view) {
  PlanRepository plans(request.db);
  const std::vector<PlaceKind> kinds = plans.PlaceKinds();
  const std::vector<Place> places = plans.Places();
  const std::vector<StoredPlan> day_plans = plans.PlansOfDay(target.person_id, target.day);
  const holidays::HolidayCalendar calendar = HolidaysOf(request, target.day, target.day);
  const std::string& csrf = request.visitor.csrf_token;
  const Language language = request.language;

  std::string out;
  out.reserve(8192);
  AppendPageStart(out, language, Text(language, MessageId::kEditorTitle), &request.visitor,
                  request.here);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, request.visitor.person.name + " " + DayHeading(language, target.day));
  if (const holidays::Holiday* holiday = calendar.Find(target.day)) {
    out += " <span class=\"day-label ";
    out += DayKindClass(holidays::KindOfDay(target.day, holiday));
    out += "\">";
    AppendEscapedHtml(out, HolidayTip(language, *holiday));
    out += "</span>";
  }
  out += "</h1>\n<p class=\"day-nav\">";
  // No step past the first or last day of the calendar.
  std::vector<std::pair<std::string, MessageId>> links;
  if (target.day > DateTime::FromCivil(100, 1, 1)) {
    links.emplace_back(EditorAddress(target, target.day.AddDays(-1)), MessageId::kPreviousDay);
  }
  links.emplace_back(ReturnAddress(*request.visitor.session, target.person_id, target.day),
                     MessageId::kBackToPage);
  if (target.day < DateTime::FromCivil(9999, 12, 31)) {
    links.emplace_back(EditorAddress(target, target.day.AddDays(1)), MessageId::kNextDay);
  }
  links.emplace_back(std::string(kDeletedPlansPath), MessageId::kRecentlyDeleted);
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (i > 0) out += ' ';
    AppendLink(out, links[i].first, language, links[i].second);
  }
  out += "</p>\n</div>\n";
  AppendNotices(out, language, target, view, csrf);
  if (view.confirm) AppendDeleteConfirmation(out, language, target, *view.confirm, csrf);
  AppendPlanList(out, language, target, day_plans);
  if (view.copy) {
    AppendCopyForm(out, language, target, *view.copy, view.copy_fields, view.copy_messages, csrf);
  }
  AppendPlanForm(out, language, target, view.fields, view.messages, kinds, places, csrf);
  AppendPageEnd(out);
  return PageReply{view.status, std::move(out), {}};
}

// The person's plan of that id, or HttpError 404.
StoredPlan RequirePlan(PlanRepository& plans, const EditorTarget& target, std::int64_t plan_id) {
  std::optional<StoredPlan> plan = plans.FindPlan(target.person_id, plan_id);
  if (!plan) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
  return std::move(*plan);
}

// The notices that the query of a page reached after a write asks for.
void ReadNoticeQuery(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
                     EditorView& view) {
  const Language language = request.language;
  const auto with_overlaps = [&](std::int64_t plan_id, MessageId notice) {
    view.notices.push_back(Say(language, notice));
    if (const std::optional<StoredPlan> plan = plans.FindPlan(target.person_id, plan_id)) {
      if (auto warning = OverlapWarning(language, plans.Overlapping(target.person_id, *plan))) {
        view.warnings.push_back(*warning);
      }
    }
  };
  if (const std::optional<std::int64_t> saved = ReadIdField(request.query, "saved")) {
    with_overlaps(*saved, MessageId::kSaved);
  }
  if (const std::optional<std::int64_t> restored = ReadIdField(request.query, "restored")) {
    with_overlaps(*restored, MessageId::kRestored);
  }
  if (const std::optional<std::int64_t> deleted = ReadIdField(request.query, "deleted")) {
    if (std::optional<DeletedPlan> entry = plans.FindDeleted(target.person_id, *deleted)) {
      view.notices.push_back(
          Format(language, MessageId::kDeletedPlan, {PlanLabel(language, entry->plan)}));
      view.undo = std::move(entry);
    }
  }
  if (const std::optional<std::int64_t> copied = ReadIdField(request.query, "copied")) {
    view.notices.push_back(Format(language, MessageId::kCopiedDays, {std::to_string(*copied)}));
    const std::optional<std::int64_t> overlapping = ReadIdField(request.query, "overlapping");
    if (overlapping && *overlapping > 0) {
      view.warnings.push_back(
          Format(language, MessageId::kCopiesOverlap, {std::to_string(*overlapping)}));
    }
  }
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

// How many of the copies overlap a plan the person had before.
std::int64_t OverlappingCopies(PlanRepository& plans, std::int64_t person_id,
                               const std::vector<PlanInput>& copies) {
  if (copies.empty()) return 0;
  const std::vector<StoredPlan> existing =
      plans.PlansBetween(person_id, copies.front().start, copies.back().end);
  std::int64_t count = 0;
  for (const PlanInput& copy : copies) {
    StoredPlan probe;
    probe.start = copy.start;
    probe.end = copy.end;
    for (const StoredPlan& plan : existing) {
      if (Overlap(probe, plan)) {
        ++count;
        break;
      }
    }
  }
  return count;
}

std::string FullDayMessage(Language language, const DateTime& day, std::size_t limit) {
  return Format(language, MessageId::kDayFull, {DayText(language, day), std::to_string(limit)});
}

PageReply Save(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id) {
  EditorView view;
  view.fields = FieldsOfForm(request.form);
  auto checked = CheckFields(request.language, view.fields, plans.PlaceKinds(), plans.Places(),
                             request.options.max_plan_days);
  if (auto* messages = std::get_if<std::vector<std::string>>(&checked)) {
    view.messages = std::move(*messages);
    view.status = 400;
    // Shown again as a page can carry them: bytes that are no UTF-8 as
    // U+FFFD, control characters left out.
    for (std::string* field : {&view.fields.start, &view.fields.end, &view.fields.detail,
                               &view.fields.content, &view.fields.addition}) {
      *field = CleanText(*field);
    }
    return EditorPage(request, target, view);
  }
  const PlanInput& plan = std::get<PlanInput>(checked);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plan_id ? plans.Update(target.person_id, *plan_id, plan, limit)
                                  : plans.Add(target.person_id, plan, limit);
  if (write.full_day) {
    view.messages = {FullDayMessage(request.language, *write.full_day, limit)};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  if (write.plan_id == 0) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
  // Back to the plan's first day, which lists it with the notice.
  const EditorTarget shown{target.person_id, plan.start.DateOnly()};
  return PageReply{
      303, {}, EditorAddress(shown, shown.day, {{"saved", std::to_string(write.plan_id)}})};
}

PageReply Copy(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id) {
  if (!plan_id) throw HttpError(400, {MessageId::kCopyWithoutPlan, {}});
  EditorView view;
  view.copy = RequirePlan(plans, target, *plan_id);
  view.copy_fields = CopyFieldsOfForm(request.form);
  view.fields = DefaultFields(target.day, plans.PlaceKinds());
  auto copies = PlanCopies(request, *view.copy, view.copy_fields);
  if (auto* messages = std::get_if<std::vector<std::string>>(&copies)) {
    view.copy_messages = std::move(*messages);
    view.status = 400;
    return EditorPage(request, target, view);
  }
  const std::vector<PlanInput>& planned = std::get<std::vector<PlanInput>>(copies);
  const std::int64_t overlapping = OverlappingCopies(plans, target.person_id, planned);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plans.AddAll(target.person_id, planned, limit);
  if (write.full_day) {
    view.copy_messages = {Format(request.language, MessageId::kNothingCopied,
                                 {FullDayMessage(request.language, *write.full_day, limit)})};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  return PageReply{303,
                   {},
                   EditorAddress(target, target.day,
                                 {{"copied", std::to_string(planned.size())},
                                  {"overlapping", std::to_string(overlapping)}})};
}

PageReply Restore(PageRequest& request, const EditorTarget& target, PlanRepository& plans) {
  const std::optional<std::int64_t> deleted_id = ReadIdField(request.form, "deletedID");
  if (!deleted_id) throw HttpError(400, {MessageId::kRestoreWithoutEntry, {}});
  const std::optional<DeletedPlan> entry = plans.FindDeleted(target.person_id, *deleted_id);
  const Message gone{MessageId::kDeletedGone, {std::to_string(kKeepDeletedDays)}};
  if (!entry) throw HttpError(404, gone);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plans.Restore(target.person_id, *deleted_id, limit);
  if (write.full_day) {
    EditorView view;
    view.fields = DefaultFields(target.day, plans.PlaceKinds());
    view.messages = {Format(request.language, MessageId::kCannotRestore,
                            {FullDayMessage(request.language, *write.full_day, limit),
                             PlanLabel(request.language, entry->plan)})};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  if (write.plan_id == 0) throw HttpError(404, gone);
  const EditorTarget shown{target.person_id,
                           entry->plan.start ? entry->plan.start->DateOnly() : target.day};
  return PageReply{
      303, {}, EditorAddress(shown, shown.day, {{"restored", std::to_string(write.plan_id)}})};
}

}  // namespace

std::string ReturnAddress(const host::Session& session, std::int64_t person_id,
                          const DateTime& day) {
  const Value held = session.Get("strURL");
  const ViewPage* page = FindViewPage(held.is_text() ? held.text() : std::string_view());
  if (page == nullptr) page = &ViewPages().front();
  // A day the page cannot show opens it on the nearest one it can.
  const DayRange showable = ShowableDays(*page);
  const DateTime shown = std::clamp(day.DateOnly(), showable.first, showable.last);
  return http::LinkWithQuery(page->path,
                             {{"personID", std::to_string(person_id)}, {"dt", IsoDate(shown)}});
}

PageReply ShowEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  PlanRepository plans(request.db);
  EditorView view;
  ReadNoticeQuery(request, target, plans, view);
  if (const std::optional<std::int64_t> plan_id = ReadIdField(request.query, "planID")) {
    view.fields = FieldsOfPlan(RequirePlan(plans, target, *plan_id));
  } else {
    view.fields = DefaultFields(target.day, plans.PlaceKinds());
  }
  if (const std::optional<std::int64_t> doomed = ReadIdField(request.query, "delete")) {
    view.confirm = RequirePlan(plans, target, *doomed);
  }
  if (const std::optional<std::int64_t> copied = ReadIdField(request.query, "copy")) {
    view.copy = RequirePlan(plans, target, *copied);
    view.copy_fields = DefaultCopyFields(*view.copy, target.day);
  }
  return EditorPage(request, target, view);
}

PageReply SubmitEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  const std::string action = FieldOrEmpty(request.form, "action");
  PlanRepository plans(request.db);
  const std::optional<std::int64_t> plan_id = ReadIdField(request.form, "planID");

  if (action == "delete") {
    if (!plan_id) throw HttpError(400, {MessageId::kDeleteWithoutPlan, {}});
    const std::optional<std::int64_t> deleted =
        plans.Remove(target.person_id, *plan_id, LocalNow());
    if (!deleted) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
    return PageReply{
        303, {}, EditorAddress(target, target.day, {{"deleted", std::to_string(*deleted)}})};
  }
  if (action == "save") return Save(request, target, plans, plan_id);
  if (action == "copy") return Copy(request, target, plans, plan_id);
  if (action == "restore") return Restore(request, target, plans);
  throw HttpError(400, {MessageId::kUnknownAction, {action}});
}

}  // namespace ostrand::web

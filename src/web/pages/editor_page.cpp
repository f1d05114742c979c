#include "web/pages/editor_page.h"

#include <cstdio>
#include <utility>
#include <variant>
#include <vector>

#include "core/html.h"
#include "core/utf8.h"
#include "web/data/plan_repository.h"
#include "web/http/http_error.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web {
namespace {

// The longest detail, content or addition, in characters. Every view and
// summary repeats a plan's text on each day it covers, so one unbounded
// field could swell every page that shows it.
constexpr std::size_t kMaxTextLength = 500;

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

EditorTarget ReadTarget(PageRequest& request) {
  EditorTarget target;
  const std::optional<std::string> person = FindField(request.query, "personID");
  target.person_id = person && !person->empty() ? ReadPersonIdValue("personID", *person)
                                                : request.visitor.person.id;
  RequireSelf(request.visitor, target.person_id);
  const std::optional<std::string> dt = FindField(request.query, "dt");
  target.day = dt && !dt->empty()
                   ? ReadDayValue("dt", *dt)
                   : (request.options.today ? request.options.today().DateOnly() : LocalToday());
  return target;
}

std::optional<std::int64_t> ReadPlanId(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return ReadPersonIdValue("planID", text);
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

std::string DayHeading(Language language, const DateTime& day) {
  return Format(language, MessageId::kDayHeading,
                {DayText(language, day), WeekdayName(language, day.weekday())});
}

std::string EditorAddress(const EditorTarget& target, const DateTime& day) {
  return http::LinkWithQuery(
      kEditorPath, {{"personID", std::to_string(target.person_id)}, {"dt", IsoDate(day)}});
}

// The editor opened on one of the day's plans.
std::string PlanAddress(const EditorTarget& target, std::int64_t plan_id) {
  return http::LinkWithQuery(kEditorPath, {{"personID", std::to_string(target.person_id)},
                                           {"dt", IsoDate(target.day)},
                                           {"planID", std::to_string(plan_id)}});
}

PlanFields DefaultFields(const DateTime& day, const std::vector<PlaceKind>& kinds) {
  PlanFields fields;
  fields.start = FormDateTime(DateTime::FromSerial(day.day(), 9 * 3600));
  fields.end = FormDateTime(DateTime::FromSerial(day.day(), 17 * 3600 + 30 * 60));
  if (!kinds.empty()) fields.kind = std::to_string(kinds.front().id);
  fields.flag = std::to_string(kSharedPlan);
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
  fields.flag = std::to_string(plan.flag.value_or(kSharedPlan));
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

std::optional<DateTime> ReadFormTime(const std::string& text) {
  try {
    return DateTime::Parse(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::int64_t> ReadFormId(const std::string& text) {
  return ReadWholeNumber(text, kLargestExactId);
}

// Characters of UTF-8 text (bytes that do not continue a character).
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
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
  const std::optional<DateTime> start = ReadFormTime(fields.start);
  const std::optional<DateTime> end = ReadFormTime(fields.end);
  if (!start) messages.push_back(Format(language, MessageId::kBadStart, {fields.start}));
  if (!end) messages.push_back(Format(language, MessageId::kBadEnd, {fields.end}));
  if (start && end && *end < *start) messages.push_back(std::string(Text(language, MessageId::kEndBeforeStart)));
  if (start && end && end->day() - start->day() + 1 > max_plan_days) {
    messages.push_back(Format(language, MessageId::kPlanTooLong,
                              {std::to_string(end->day() - start->day() + 1),
                               std::to_string(max_plan_days)}));
  }

  const std::optional<std::int64_t> kind_id = ReadFormId(fields.kind);
  const PlaceKind* kind = nullptr;
  for (const PlaceKind& k : kinds) {
    if (kind_id && k.id == *kind_id) kind = &k;
  }
  if (kind == nullptr) messages.push_back(std::string(Text(language, MessageId::kChooseKind)));
  const std::optional<std::int64_t> place_id = ReadFormId(fields.place);
  const Place* place = nullptr;
  for (const Place& p : places) {
    if (place_id && p.id == *place_id) place = &p;
  }
  if (place == nullptr) {
    messages.push_back(std::string(Text(language, MessageId::kChoosePlace)));
  } else if (kind != nullptr && place->kind_id && *place->kind_id != kind->id) {
    messages.push_back(Format(language, MessageId::kPlaceNotOfKind, {place->name, kind->name}));
  }
  const std::optional<std::int64_t> flag = ReadFormId(fields.flag);
  if (!flag || (*flag != kSharedPlan && *flag != kPrivatePlan)) {
    messages.push_back(std::string(Text(language, MessageId::kChooseFlag)));
  }
  const std::pair<MessageId, const std::string*> texts[] = {{MessageId::kDetail, &fields.detail},
                                                           {MessageId::kContent, &fields.content},
                                                           {MessageId::kAddition, &fields.addition}};
  for (const auto& [caption, text] : texts) {
    if (CharacterCount(*text) > kMaxTextLength) {
      messages.push_back(Format(language, MessageId::kTextTooLong,
                                {Text(language, caption), std::to_string(kMaxTextLength)}));
    }
    // Pages show these texts as they are; line breaks, NUL and the like do
    // not belong in a one-line field.
    if (HasControlCharacter(*text)) {
      messages.push_back(Format(language, MessageId::kTextHasControl, {Text(language, caption)}));
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

void AppendPlanList(std::string& out, Language language, const EditorTarget& target,
                    const std::vector<StoredPlan>& plans, const std::string& csrf) {
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
    out += "<tr>";
    AppendCell(out, TimeRange(plan, target.day));
    AppendCell(out, plan.kind_name);
    AppendCell(out, plan.place_name);
    AppendCell(out, plan.detail.value_or(""));
    AppendCell(out, plan.content.value_or(""));
    AppendCell(out, plan.addition.value_or(""));
    AppendCell(out, Text(language, plan.flag == kSharedPlan ? MessageId::kShared : MessageId::kPrivate));
    out += "<td class=\"actions\"><a href=\"";
    AppendEscapedHtml(out, PlanAddress(target, plan.id));
    out += "\">";
    AppendEscapedHtml(out, Text(language, MessageId::kEdit));
    out += "</a> ";
    AppendFormStart(out, "post", EditorAddress(target, target.day));
    AppendHiddenField(out, "csrf", csrf);
    AppendHiddenField(out, "action", "delete");
    AppendHiddenField(out, "planID", std::to_string(plan.id));
    AppendSubmitButton(out, Text(language, MessageId::kDelete));
    out += "</form></td></tr>\n";
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
  const std::string shared = std::to_string(kSharedPlan);
  const std::string priv = std::to_string(kPrivatePlan);
  out += "<fieldset class=\"flag\"><legend>";
  AppendEscapedHtml(out, Text(language, MessageId::kFlag));
  out += "</legend>\n";
  AppendRadioButton(out, "flag", shared, Text(language, MessageId::kShared), fields.flag == shared);
  AppendRadioButton(out, "flag", priv, Text(language, MessageId::kPrivate), fields.flag == priv);
  out += "</fieldset>\n";
  AppendSubmitButton(out, Text(language, MessageId::kSave));
  out += '\n';
  if (!fields.plan_id.empty()) {
    out += "<a href=\"";
    AppendEscapedHtml(out, EditorAddress(target, target.day));
    out += "\">";
    AppendEscapedHtml(out, Text(language, MessageId::kCancelChange));
    out += "</a>\n";
  }
  out += "</form>\n";
}

PageReply EditorPage(PageRequest& request, const EditorTarget& target, const PlanFields& fields,
                     const std::vector<std::string>& messages, int status) {
  PlanRepository plans(request.db);
  const std::vector<PlaceKind> kinds = plans.PlaceKinds();
  const std::vector<Place> places = plans.Places();
  const std::vector<StoredPlan> day_plans = plans.PlansOfDay(target.person_id, target.day);
  const std::string& csrf = request.visitor.csrf_token;

  std::string out;
  out.reserve(8192);
  const Language language = request.language;
  AppendPageStart(out, language, Text(language, MessageId::kEditorTitle), &request.visitor,
                  request.here);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, request.visitor.person.name + " " + DayHeading(language, target.day));
  out += "</h1>\n<p class=\"day-nav\">";
  const std::pair<std::string, MessageId> links[] = {
      {EditorAddress(target, target.day.AddDays(-1)), MessageId::kPreviousDay},
      {ReturnAddress(*request.visitor.session, target.person_id, target.day),
       MessageId::kBackToPage},
      {EditorAddress(target, target.day.AddDays(1)), MessageId::kNextDay}};
  for (const auto& [href, caption] : links) {
    if (caption != MessageId::kPreviousDay) out += ' ';
    out += "<a href=\"";
    AppendEscapedHtml(out, href);
    out += "\">";
    AppendEscapedHtml(out, Text(language, caption));
    out += "</a>";
  }
  out += "</p>\n</div>\n";
  AppendPlanList(out, language, target, day_plans, csrf);
  AppendPlanForm(out, language, target, fields, messages, kinds, places, csrf);
  AppendPageEnd(out);
  return PageReply{status, std::move(out), {}};
}

}  // namespace

std::string ReturnAddress(const host::Session& session, std::int64_t person_id,
                          const DateTime& day) {
  const Value held = session.Get("strURL");
  std::string page = held.is_text() ? held.text() : std::string();
  if (FindViewPage(page) == nullptr) page = std::string(ViewPages().front().path);
  return http::LinkWithQuery(page, {{"personID", std::to_string(person_id)}, {"dt", IsoDate(day)}});
}

PageReply ShowEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  const std::optional<std::int64_t> plan_id = ReadPlanId(FieldOrEmpty(request.query, "planID"));
  if (!plan_id) {
    PlanRepository plans(request.db);
    return EditorPage(request, target, DefaultFields(target.day, plans.PlaceKinds()), {}, 200);
  }
  const std::optional<StoredPlan> plan =
      PlanRepository(request.db).FindPlan(target.person_id, *plan_id);
  if (!plan) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
  return EditorPage(request, target, FieldsOfPlan(*plan), {}, 200);
}

PageReply SubmitEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  const std::string action = FieldOrEmpty(request.form, "action");
  PlanRepository plans(request.db);
  const std::optional<std::int64_t> plan_id = ReadPlanId(FieldOrEmpty(request.form, "planID"));

  if (action == "delete") {
    if (!plan_id) throw HttpError(400, {MessageId::kDeleteWithoutPlan, {}});
    if (!plans.Remove(target.person_id, *plan_id)) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
    return PageReply{
        303, {}, ReturnAddress(*request.visitor.session, target.person_id, target.day)};
  }
  if (action != "save") throw HttpError(400, {MessageId::kUnknownAction, {action}});

  const PlanFields fields = FieldsOfForm(request.form);
  auto checked = CheckFields(request.language, fields, plans.PlaceKinds(), plans.Places(),
                             request.options.max_plan_days);
  if (auto* messages = std::get_if<std::vector<std::string>>(&checked)) {
    return EditorPage(request, target, fields, *messages, 400);
  }
  const PlanInput& plan = std::get<PlanInput>(checked);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plan_id ? plans.Update(target.person_id, *plan_id, plan, limit)
                                  : plans.Add(target.person_id, plan, limit);
  if (write.full_day) {
    const std::vector<std::string> messages{
        Format(request.language, MessageId::kDayFull,
               {DayText(request.language, *write.full_day), std::to_string(limit)})};
    return EditorPage(request, target, fields, messages, 400);
  }
  if (write.plan_id == 0) throw HttpError(404, {MessageId::kNoSuchPlan, {}});
  return PageReply{
      303, {}, ReturnAddress(*request.visitor.session, target.person_id, plan.start.DateOnly())};
}

}  // namespace ostrand::web

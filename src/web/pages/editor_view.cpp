#include "web/pages/editor_view.h"

#include <limits>
#include <map>
#include <utility>

#include "calendar/weekday_caption.h"
#include "core/html.h"
#include "core/text.h"
#include "web/data/plan_series.h"
#include "web/pages/day_marks.h"
#include "web/pages/editor_page.h"
#include "web/pages/editor_text.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/page_paths.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web::editor {
namespace {

// The series of the day's plans that belong to one, by plan id.
using SeriesOfPlans = std::map<std::int64_t, PlanSeries>;

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

// "this plan" / "every plan of the series" for a plan of a series.
void AppendScopeChoice(std::string& out, Language language) {
  out += "<fieldset class=\"series-scope\"><legend>";
  AppendEscapedHtml(out, Text(language, MessageId::kSeriesScope));
  out += "</legend>\n";
  AppendRadioButton(out, "scope", "plan", Text(language, MessageId::kSeriesThisPlan), true);
  AppendRadioButton(out, "scope", "series", Text(language, MessageId::kSeriesEveryPlan), false);
  out += "</fieldset>\n";
}

void AppendPlanList(std::string& out, Language language, const EditorTarget& target,
                    const std::vector<StoredPlan>& plans, const SeriesOfPlans& series) {
  AppendHeading(out, language, MessageId::kDayPlans);
  if (plans.empty()) {
    out += "<p class=\"empty\">";
    AppendEscapedHtml(out, Text(language, MessageId::kNoPlansThatDay));
    out += "</p>\n";
    return;
  }
  out += "<table class=\"day-plans\">\n<tr>";
  for (const MessageId column :
       {MessageId::kTime, MessageId::kKind, MessageId::kPlace, MessageId::kDetail,
        MessageId::kContent, MessageId::kAddition, MessageId::kFlag, MessageId::kActions}) {
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
    if (const auto found = series.find(plan.id); found != series.end()) {
      out += " <span class=\"series\">";
      AppendEscapedHtml(out, Format(language, MessageId::kSeriesOfPlans,
                                    {std::to_string(found->second.count),
                                     ShortDayText(language, found->second.first_day),
                                     ShortDayText(language, found->second.last_day)}));
      out += "</span>";
    }
    out += "</td>";
    AppendCell(out, plan.addition.value_or(""));
    AppendCell(out, Text(language, plan.flag == store::kSharedPlanFlag ? MessageId::kShared
                                                                       : MessageId::kPrivate));
    const std::string id = std::to_string(plan.id);
    out += "<td class=\"actions\">";
    AppendLink(out, EditorAddress(target, target.day, {{"planID", id}}),
               Text(language, MessageId::kEdit));
    out += ' ';
    AppendLink(out, EditorAddress(target, target.day, {{"copy", id}}),
               Text(language, MessageId::kCopy));
    out += ' ';
    AppendLink(out, EditorAddress(target, target.day, {{"delete", id}}),
               Text(language, MessageId::kDelete), "class=\"delete\"");
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
                    const PlanFields& fields, const std::vector<std::string>& messages,
                    const std::vector<PlaceKind>& kinds, const std::vector<Place>& places,
                    const std::string& csrf, bool in_series) {
  AppendHeading(out, language,
                fields.plan_id.empty() ? MessageId::kNewPlan : MessageId::kChangePlan);
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
  if (in_series) AppendScopeChoice(out, language);
  AppendSubmitButton(out, Text(language, MessageId::kSave));
  out += '\n';
  if (!fields.plan_id.empty()) {
    AppendLink(out, EditorAddress(target, target.day), Text(language, MessageId::kCancelChange));
    out += '\n';
  }
  out += "</form>\n";
}

// What was just done, the warnings, and the undo of a delete.
void AppendNotices(std::string& out, Language language, const EditorTarget& target,
                   const EditorView& view, const std::string& csrf) {
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
                              const StoredPlan& plan, const std::string& csrf, bool in_series) {
  out +=
      "<div class=\"confirm\" role=\"alertdialog\" aria-labelledby=\"confirm-delete\">\n"
      "<p id=\"confirm-delete\">";
  AppendEscapedHtml(out, Format(language, MessageId::kConfirmDelete,
                                {PlanLabel(language, plan), std::to_string(kKeepDeletedDays)}));
  out += "</p>\n";
  AppendFormStart(out, "post", EditorAddress(target, target.day));
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "delete");
  AppendHiddenField(out, "planID", std::to_string(plan.id));
  if (in_series) AppendScopeChoice(out, language);
  AppendSubmitButton(out, Text(language, MessageId::kDelete));
  out += ' ';
  AppendLink(out, EditorAddress(target, target.day), Text(language, MessageId::kCancel));
  out += "</form>\n</div>\n";
}

void AppendCopyForm(std::string& out, Language language, const EditorTarget& target,
                    const StoredPlan& plan, const CopyFields& fields,
                    const std::vector<std::string>& messages, const std::string& csrf) {
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
  AppendLink(out, EditorAddress(target, target.day), Text(language, MessageId::kCancel));
  out += "\n</form>\n";
}

}  // namespace

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
    AppendLink(out, links[i].first, Text(language, links[i].second));
  }
  out += "</p>\n</div>\n";
  AppendNotices(out, language, target, view, csrf);
  SeriesOfPlans series;
  for (const StoredPlan& plan : day_plans) {
    if (std::optional<PlanSeries> found = FindSeries(request.db, target.person_id, plan.id)) {
      series.emplace(plan.id, *found);
    }
  }
  const auto in_series = [&](std::int64_t plan_id) {
    return series.contains(plan_id) ||
           FindSeries(request.db, target.person_id, plan_id).has_value();
  };
  if (view.confirm) {
    AppendDeleteConfirmation(out, language, target, *view.confirm, csrf,
                             in_series(view.confirm->id));
  }
  AppendPlanList(out, language, target, day_plans, series);
  if (view.copy) {
    AppendCopyForm(out, language, target, *view.copy, view.copy_fields, view.copy_messages, csrf);
  }
  const std::optional<std::int64_t> edited =
      ReadWholeNumber(view.fields.plan_id, std::numeric_limits<std::int64_t>::max());
  AppendPlanForm(out, language, target, view.fields, view.messages, kinds, places, csrf,
                 edited && in_series(*edited));
  AppendPageEnd(out);
  return PageReply{view.status, std::move(out), {}};
}

}  // namespace ostrand::web::editor

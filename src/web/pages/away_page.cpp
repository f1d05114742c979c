#include "web/pages/away_page.h"

#include <map>
#include <string>
#include <vector>

#include "core/html.h"
#include "plans/place_kind.h"
#include "web/data/department_plans.h"
#include "web/data/plan_repository.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/day_marks.h"
#include "web/pages/department_heading.h"
#include "web/pages/list_paging.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

const std::vector<std::int64_t> kAwayKinds(plans::kAwayPlaceKinds.begin(),
                                           plans::kAwayPlaceKinds.end());

std::string DayWithWeekday(Language language, const DateTime& day) {
  return Format(language, MessageId::kDayHeading,
                {ShortDate(language, day), WeekdayName(language, day.weekday())});
}

// The plan's days: "12月8日" or "12月8日–12月10日".
std::string PlanDays(Language language, const DepartmentPlan& plan) {
  if (plan.start.day() == plan.end.day()) return ShortDate(language, plan.start);
  return ShortDate(language, plan.start) + "–" + ShortDate(language, plan.end);
}

// The page of `day`, ending with `keep` (what was asked of the list).
std::string AwayAddress(const DateTime& day, std::string_view keep = {}) {
  return http::LinkWithQuery(kAwayPath, {{"dt", IsoDate(day)}}) + std::string(keep);
}

// One entry: the person, the place, what the visitor may see of the plan,
// its days.
void AppendEntry(std::string& out, Language language, const Person& person,
                 const DepartmentPlan& plan,
                 const DateTime& day, std::int64_t viewer) {
  const bool own = plan.person_id == viewer;
  out += "<li><a class=\"person\" href=\"";
  AppendEscapedHtml(out, http::LinkWithQuery(kPersonMonthPath,
                                             {{"personID", std::to_string(person.id)},
                                              {"dt", IsoDate(day)}}));
  out += "\">";
  AppendEscapedHtml(out, person.name);
  out += "</a> <span class=\"place\">";
  AppendEscapedHtml(out, plan.place_name.empty() ? plan.kind_name : plan.place_name);
  if (own && !plan.detail.empty()) {
    out += " ";
    AppendEscapedHtml(out, plan.detail);
  }
  out += "</span>";
  if (!plan.content.empty()) {
    out += " <span class=\"content\">";
    AppendEscapedHtml(out, plan.content);
    out += "</span>";
  }
  if (own && !plan.shared) {
    out += " <span class=\"private\">";
    AppendEscapedHtml(out, Text(language, MessageId::kPrivateMark));
    out += "</span>";
  }
  out += " <span class=\"days\">";
  AppendEscapedHtml(out, PlanDays(language, plan));
  out += "</span></li>\n";
}

// The plans of one section, grouped by kind of place, persons in the
// department's order.
void AppendGroups(std::string& out, Language language, std::string_view id,
                  const std::string& heading,
                  const std::vector<const DepartmentPlan*>& plans,
                  const std::vector<Person>& persons, const std::vector<PlaceKind>& kinds,
                  const DateTime& day, std::int64_t viewer, MessageId none) {
  out += "<section class=\"away\" aria-labelledby=\"";
  out += id;
  out += "\">\n<h2 id=\"";
  out += id;
  out += "\">";
  AppendEscapedHtml(out, heading);
  out += "</h2>\n";
  if (plans.empty()) {
    out += "<p class=\"empty\">";
    AppendEscapedHtml(out, Text(language, none));
    out += "</p>\n</section>\n";
    return;
  }
  // The plans come by person, then by start.
  std::map<std::int64_t, std::vector<const DepartmentPlan*>> by_person;
  for (const DepartmentPlan* plan : plans) by_person[plan->person_id].push_back(plan);
  for (const std::int64_t kind : kAwayKinds) {
    std::string items;
    std::size_t count = 0;
    for (const Person& person : persons) {
      const auto found = by_person.find(person.id);
      if (found == by_person.end()) continue;
      for (const DepartmentPlan* plan : found->second) {
        if (plan->kind_id != kind) continue;
        AppendEntry(items, language, person, *plan, day, viewer);
        ++count;
      }
    }
    if (count == 0) continue;
    std::string name = Format(language, MessageId::kKindNumber, {std::to_string(kind)});
    for (const PlaceKind& k : kinds) {
      if (k.id == kind) name = k.name;
    }
    out += "<h3 class=\"sch" + std::to_string(kind) + "\">";
    AppendEscapedHtml(out, name);
    out += " <span class=\"count\">" + std::to_string(count) + "</span></h3>\n<ul class=\"away-list\">\n";
    out += items;
    out += "</ul>\n";
  }
  out += "</section>\n";
}

}  // namespace

PageReply RenderAwayPage(PageRequest& request) {
  const std::optional<std::string> dt = FindField(request.query, "dt");
  const DateTime day = dt && !dt->empty() ? ReadDayValue("dt", *dt) : TodayOf(request.options);
  // The page steps a week either way from its day.
  const DateTime earliest = DateTime::FromCivil(100, 1, 15);
  const DateTime latest = DateTime::FromCivil(9999, 12, 17);
  if (day < earliest || latest < day) {
    throw HttpError(400, {MessageId::kDayNotShown, {IsoDate(day), IsoDate(earliest),
                                                    IsoDate(latest)}});
  }
  const DateTime today = TodayOf(request.options);
  const DateTime monday = MondayOf(day);
  const DateTime sunday = monday.AddDays(6);
  const Visitor& visitor = request.visitor;
  // A page of the persons away in the week, and only their plans.
  const ListAsk ask = ReadListAsk(request.query);
  const std::optional<std::int64_t> system = visitor.person.system_id;
  const PageWindow window =
      WindowOf(ask.page, ask.size,
               system ? CountAwayPersons(request.db, *system, visitor.person.id, monday, sunday,
                                         kAwayKinds, ask.filter)
                      : 0);
  const std::vector<Person> persons =
      system ? AwayPersonsWindow(request.db, *system, visitor.person.id, monday, sunday,
                                 kAwayKinds, ask.filter, window.offset(), window.size)
             : std::vector<Person>{};
  const std::vector<DepartmentPlan> plans =
      SystemPlansOf(request.db, persons, visitor.person.id, monday, sunday, kAwayKinds);
  std::string keep;
  AppendListQuery(keep, ask.filter, window.size, window.page);
  const std::vector<PlaceKind> kinds = PlanRepository(request.db).PlaceKinds();
  const holidays::HolidayCalendar calendar = HolidaysOf(request, monday, sunday);

  std::vector<const DepartmentPlan*> on_day;
  std::vector<const DepartmentPlan*> in_week;
  for (const DepartmentPlan& plan : plans) {
    in_week.push_back(&plan);
    if (plan.start.day() <= day.day() && day.day() <= plan.end.day()) on_day.push_back(&plan);
  }

  const Language language = request.language;
  std::string out;
  out.reserve(8192);
  const std::string_view title = Text(language, MessageId::kAwayTitle);
  AppendPageStart(out, language, title, &visitor, request.here);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, title);
  AppendDepartmentOfVisitor(out, request);
  out += "</h1>\n<p class=\"day-nav\">";
  const std::pair<DateTime, MessageId> links[] = {{day.AddDays(-7), MessageId::kPreviousWeek},
                                                  {day.AddDays(-1), MessageId::kPreviousDay},
                                                  {today, MessageId::kToday},
                                                  {day.AddDays(1), MessageId::kNextDay},
                                                  {day.AddDays(7), MessageId::kNextWeek}};
  for (const auto& [target, caption] : links) {
    if (caption != MessageId::kPreviousWeek) out += ' ';
    out += "<a href=\"";
    AppendEscapedHtml(out, AwayAddress(target, keep));
    out += "\">";
    AppendEscapedHtml(out, Text(language, caption));
    out += "</a>";
  }
  out += "</p>\n</div>\n";
  if (ListControlsShown(ask, window)) {
    AppendListFilter(out, language, kAwayPath, {{"dt", IsoDate(day)}}, ask.filter, window.size,
                     DutyChoices(request.db));
    AppendPager(out, language, window, [&](std::int64_t page, std::size_t size) {
      std::string link = AwayAddress(day);
      AppendListQuery(link, ask.filter, size, page);
      return link;
    });
  }

  std::string day_heading = DayWithWeekday(language, day);
  if (day.day() == today.day()) {
    day_heading = Format(language, MessageId::kTodayHeading, {day_heading});
  }
  if (const holidays::Holiday* holiday = calendar.Find(day)) {
    day_heading += " · " + HolidayTip(language, *holiday);
  }
  AppendGroups(out, language, "away-day", day_heading, on_day, persons, kinds, day,
               visitor.person.id, MessageId::kNobodyAwayDay);
  std::string week_heading = ShortDate(language, monday) + "–" + ShortDate(language, sunday);
  if (monday.day() <= today.day() && today.day() <= sunday.day()) {
    week_heading = Format(language, MessageId::kThisWeekHeading, {week_heading});
  }
  AppendGroups(out, language, "away-week", week_heading, in_week, persons, kinds, day,
               visitor.person.id, MessageId::kNobodyAwayWeek);
  AppendHolidayNotes(out, language, monday, sunday, calendar);
  AppendPageEnd(out);
  return PageReply{200, std::move(out), {}};
}

}  // namespace ostrand::web

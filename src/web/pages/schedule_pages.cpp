#include "web/pages/schedule_pages.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "calendar/week.h"
#include "component/member_table.h"
#include "component/schedulers.h"
#include "core/html.h"
#include "navigation/month_select.h"
#include "navigation/week_select.h"
#include "plans/place_kind.h"
#include "web/data/plan_repository.h"
#include "web/data/read_snapshot.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/day_marks.h"
#include "web/pages/department_heading.h"
#include "web/pages/html_form.h"
#include "web/pages/http_context.h"
#include "web/pages/page_downloads.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

constexpr ViewPage kViewPages[] = {
    {kPersonMonthPath, ViewKind::kPersonMonth, MessageId::kTitlePersonMonth},
    {kPersonWeekPath, ViewKind::kPersonWeek, MessageId::kTitlePersonWeek},
    {kLeaderMonthPath, ViewKind::kLeaderMonth, MessageId::kTitleLeaderMonth},
    {kLeaderWeekPath, ViewKind::kLeaderWeek, MessageId::kTitleLeaderWeek},
    {kLeader2MonthPath, ViewKind::kLeader2Month, MessageId::kTitleLeader2Month},
    {kLeader2WeekPath, ViewKind::kLeader2Week, MessageId::kTitleLeader2Week},
};

bool IsPersonal(ViewKind kind) {
  return kind == ViewKind::kPersonMonth || kind == ViewKind::kPersonWeek;
}

bool IsMonth(ViewKind kind) {
  return kind == ViewKind::kPersonMonth || kind == ViewKind::kLeaderMonth ||
         kind == ViewKind::kLeader2Month;
}

std::string_view SwitchCode(ViewKind kind) {
  switch (kind) {
    case ViewKind::kPersonMonth:
      return "m";
    case ViewKind::kPersonWeek:
      return "w";
    case ViewKind::kLeaderMonth:
      return "lm";
    case ViewKind::kLeaderWeek:
      return "lw";
    case ViewKind::kLeader2Month:
      return "lm2";
    case ViewKind::kLeader2Week:
      return "lw2";
  }
  return "";
}

// The first and last day the page's view shows.
std::pair<DateTime, DateTime> ShownPeriod(ViewKind kind, const DateTime& day) {
  if (IsMonth(kind)) {
    const DateTime first = DateTime::FromCivil(day.year(), day.month(), 1);
    return {first, first.AddDays(DaysInMonth(day.year(), day.month()) - 1)};
  }
  const DateTime monday = MondayOf(day);
  return {monday, monday.AddDays(6)};
}

void AppendPersonPicker(std::string& out, const ViewPage& page, PageRequest& request,
                        const Person& shown, const DateTime& day) {
  const std::shared_ptr<const std::vector<Person>> colleagues =
      request.visitor.person.system_id
          ? PersonsOfSystem(request.db, *request.visitor.person.system_id)
          : std::make_shared<const std::vector<Person>>(1, request.visitor.person);
  AppendFormStart(out, "get", page.path, "person-picker");
  out += '\n';
  AppendSelectStart(out, Text(request.language, MessageId::kPersonPicker), "personID");
  for (const Person& person : *colleagues) {
    AppendOption(out, std::to_string(person.id), person.name, person.id == shown.id);
  }
  AppendSelectEnd(out);
  AppendHiddenField(out, "dt", IsoDate(day));
  out += '\n';
  AppendSubmitButton(out, Text(request.language, MessageId::kShow));
  out += "\n</form>\n";
}

}  // namespace

// The kinds of place 1 to 4 with their colours (personal pages) or their
// markers (leader month pages).
void AppendPlaceLegend(std::string& out, PageRequest& request, bool markers) {
  out += "<ul class=\"legend\" aria-label=\"";
  AppendEscapedHtml(out, Text(request.language, MessageId::kLegend));
  out += "\">\n";
  for (const PlaceKind& kind : PlanRepository(request.db).PlaceKinds()) {
    if (kind.id < 1 || kind.id > 4) continue;
    const std::string cls = "sch" + std::to_string(kind.id);
    out += "<li><span class=\"";
    out += markers ? "marker " : "swatch ";
    out += cls;
    out += "\">";
    out += markers ? plans::PlaceMarker(static_cast<int>(kind.id)) : std::string_view("&nbsp;");
    out += "</span> ";
    AppendEscapedHtml(out, kind.name);
    out += "</li>\n";
  }
  out += "</ul>\n";
}

void AppendMonthSpans(std::string& out, Language language, bool second, const DateTime& day,
                      int shown, std::string_view keep) {
  out += "<nav class=\"month-spans\" aria-label=\"";
  AppendEscapedHtml(out, Text(language, MessageId::kMonthSpans));
  out += "\">";
  AppendEscapedHtml(out, Text(language, MessageId::kShowMonths));
  for (int months = 1; months <= kMaxMonths; ++months) {
    out += months == shown ? " <a aria-current=\"page\" href=\"" : " <a href=\"";
    AppendEscapedHtml(out, MonthsAddress(second, day, months));
    if (months > 1) AppendEscapedHtml(out, keep);
    out += "\">";
    AppendEscapedHtml(out, Format(language, MessageId::kMonthCount, {std::to_string(months)}));
    out += "</a>";
  }
  out += "</nav>\n";
}

std::string MonthsAddress(bool second, const DateTime& day, int months) {
  if (months <= 1) {
    return http::LinkWithQuery(second ? kLeader2MonthPath : kLeaderMonthPath, {{"dt", IsoDate(day)}});
  }
  return http::LinkWithQuery(second ? kLeader2MonthsPath : kLeaderMonthsPath,
                             {{"dt", IsoDate(day)}, {"months", std::to_string(months)}});
}

namespace {

// Opens the picker's box, naming its arrows (jian1..4, given their text
// by the host script) in the page's language.
void AppendPickerStart(std::string& out, Language language, bool month) {
  const std::pair<char, MessageId> arrows[] = {
      {'1', month ? MessageId::kPreviousMonth : MessageId::kPreviousWeek},
      {'2', month ? MessageId::kNextMonth : MessageId::kNextWeek},
      {'3', month ? MessageId::kPreviousYear : MessageId::kPreviousMonth},
      {'4', month ? MessageId::kNextYear : MessageId::kNextMonth}};
  out += "<div class=\"picker\"";
  for (const auto& [digit, caption] : arrows) {
    out += " data-jian";
    out += digit;
    out += "=\"";
    AppendEscapedHtml(out, Text(language, caption));
    out += '"';
  }
  out += '>';
}

// Writes a member's fragment into the page; text is written as it is held,
// without a copy.
void Write(host::Response& response, const Value& fragment) {
  if (fragment.is_text()) {
    response.Write(fragment.text());
  } else {
    response.Write(fragment.ToText());
  }
}

// The size of the last page of each kind, so that the next one is built in
// a buffer that need not grow.
std::atomic<std::size_t> last_page_size[6];

// The component's grid of one person's month or week as the visitor sees
// it: made once and kept beside the connection's kept rows, so that it is
// rendered again only after the database changed. It depends on nothing
// else: the person, the period and the viewer (whose own plans show whole,
// a colleague's shared ones only). A component that traces its queries
// renders every time, so that the trace shows them.
std::shared_ptr<const std::string> PersonalGrid(PageRequest& request, Schedulers& object,
                                                ViewKind kind, const Value& dt, const Value& pID) {
  const auto render = [&] {
    return (kind == ViewKind::kPersonMonth ? object.DispMonth(dt, pID) : object.DispWeek(dt, pID))
        .ToText();
  };
  if (object.debug()) return std::make_shared<const std::string>(render());
  // The month's first day, or the Monday the week grid begins with.
  const DateTime first = kind == ViewKind::kPersonMonth
                             ? DateTime::FromCivil(dt.date().year(), dt.date().month(), 1)
                             : calendar::GetPrevMonday(dt).date();
  std::string name = kind == ViewKind::kPersonMonth ? "month grid " : "week grid ";
  name += pID.ToText();
  name += ' ';
  name += std::to_string(request.visitor.person.id);
  name += ' ';
  name += first.ToText();
  return request.db.KeptValue<std::string>(name, render);
}

}  // namespace

// Personal pages show persons of the visitor's own system only.
Person ShownPerson(const ViewPage& page, PageRequest& request) {
  const Visitor& visitor = request.visitor;
  const std::optional<std::string> text = FindField(request.query, "personID");
  std::optional<std::int64_t> id;
  if (text && !text->empty()) id = ReadPersonIdValue("personID", *text);
  if (!IsPersonal(page.kind)) {
    // Leader pages show the visitor's system; personID only travels in links.
    RequireLeader(visitor);
    return visitor.person;
  }
  if (!id || *id == visitor.person.id) return visitor.person;
  std::optional<Person> shown = FindPerson(request.db, *id);
  if (!shown) throw HttpError(404, {MessageId::kNoSuchPerson, {std::to_string(*id)}});
  RequireSameSystem(visitor, *shown);
  return *shown;
}

DateTime ShownDay(const ViewPage& page, const PageRequest& request) {
  const std::optional<std::string> text = FindField(request.query, "dt");
  const DateTime day =
      text && !text->empty() ? ReadDayValue("dt", *text) : TodayOf(request.options);
  const DayRange showable = ShowableDays(page);
  if (!showable.Contains(day)) {
    throw HttpError(400, {MessageId::kDayNotShown,
                          {IsoDate(day), IsoDate(showable.first), IsoDate(showable.last)}});
  }
  return day;
}

std::span<const ViewPage> ViewPages() { return kViewPages; }

DayRange ShowableDays(const ViewPage& page) {
  return IsMonth(page.kind) ? navigation::MonthSelectDays() : navigation::WeekSelectDays();
}

DayRange DaysEveryPageShows() {
  DayRange every{DateTime::Earliest(), DateTime::Latest()};
  for (const ViewPage& page : kViewPages) {
    const DayRange days = ShowableDays(page);
    every.first = std::max(every.first, days.first);
    every.last = std::min(every.last, days.last);
  }
  return every;
}

const ViewPage* FindViewPage(std::string_view path) {
  for (const ViewPage& page : kViewPages) {
    if (page.path == path) return &page;
  }
  return nullptr;
}

PageReply RenderViewPage(const ViewPage& page, PageRequest& request) {
  const Person shown = ShownPerson(page, request);
  const DateTime day = ShownDay(page, request);
  const ViewKind kind = page.kind;

  std::atomic<std::size_t>& last_size = last_page_size[static_cast<int>(kind)];
  auto response = std::make_shared<HttpResponse>(last_size.load(std::memory_order_relaxed) + 1024);
  auto context = std::make_shared<HttpPageContext>(
      response, std::make_shared<HttpRequest>(request.server_variables), request.visitor.session);
  std::string markup;
  markup.reserve(4096);
  AppendPageStart(markup, request.language, Text(request.language, page.title), &request.visitor,
                  request.here);
  response->Write(markup);

  const std::unique_ptr<Schedulers> object = CreateObject(kProgrammaticName);
  object->OnStartPage(Value::Object(context));
  request.databases.ConnectComponent(*object);

  const Value pID = IdValue(shown.id);
  const Value dt = Value::Date(day);
  const Value which = Value::Text(std::string(SwitchCode(kind)));
  if (IsPersonal(kind)) {
    if (kind == ViewKind::kPersonMonth) object->SetDispStyle(Value::Int32(1));
    markup.clear();
    // The visitor's own days open the editor (the component's script
    // leads nowhere on another person's page).
    markup += shown.id == request.visitor.person.id
                  ? "<div class=\"page-head\" data-edit-days>\n<h1 class=\"person-name\">"
                  : "<div class=\"page-head\">\n<h1 class=\"person-name\">";
    markup += object->GetName(pID).ToText();  // the component escapes name and duty
    markup += "</h1>\n";
    AppendPersonPicker(markup, page, request, shown, day);
    markup += "</div>\n";
    response->Write(markup);
    Write(*response, object->DispSwitch(dt, pID, which));
    markup.clear();
    AppendPickerStart(markup, request.language, IsMonth(kind));
    response->Write(markup);
    Write(*response,
          IsMonth(kind) ? object->DispMonthSelect(dt, pID) : object->DispWeekSelect(dt, pID));
    response->Write("</div>\n");
    response->Write(*PersonalGrid(request, *object, kind, dt, pID));
    if (kind == ViewKind::kPersonMonth) {
      markup.clear();
      AppendPlaceLegend(markup, request, false);
      AppendDownloadLinks(markup, request.language, page, shown, day);
      response->Write(markup);
    }
    Write(*response, object->DispScript(pID));
  } else {
    const bool second = kind == ViewKind::kLeader2Month || kind == ViewKind::kLeader2Week;
    const Value cond = Value::Text(LeaderCondition(request.options, second));
    const std::string_view title = Text(request.language, page.title);
    markup.clear();
    markup += "<h1 class=\"page-title\">";
    AppendEscapedHtml(markup, title);
    AppendDepartmentOfVisitor(markup, request);
    markup += "</h1>\n";
    response->Write(markup);
    Write(*response, object->DispSwitch(dt, pID, which));
    markup.clear();
    AppendPickerStart(markup, request.language, IsMonth(kind));
    response->Write(markup);
    Write(*response,
          IsMonth(kind) ? object->DispMonthSelect(dt, pID) : object->DispWeekSelect(dt, pID));
    markup = "</div>\n";
    if (IsMonth(kind)) {
      AppendMonthSpans(markup, request.language, page.kind == ViewKind::kLeader2Month, day, 1);
    }
    // The table scrolls sideways: a named region that takes the focus, so
    // that a keyboard can scroll it.
    markup += "<div class=\"wide\" role=\"region\" tabindex=\"0\" aria-label=\"";
    AppendEscapedHtml(markup, title);
    markup += "\">\n";
    response->Write(markup);
    if (IsMonth(kind)) {
      // One snapshot for the check of the kept cells and the rows read
      // around them (the component leases this thread's connection).
      const ReadSnapshot snapshot(request.db);
      MonthCellsCache::Use kept = request.databases.month_cells().Begin();
      object->AppendLeaderMonth(response->body_buffer(), dt, cond, &kept);
    } else {
      Write(*response, object->DispLeaderWeek(dt, cond));
    }
    response->Write("</table>\n</div>\n");
    markup.clear();
    AppendPlaceLegend(markup, request, true);
    AppendDownloadLinks(markup, request.language, page, shown, day);
    response->Write(markup);
  }
  object->OnEndPage();

  // Today, weekends and holidays: the list of the period's holidays, and the
  // facts from which the host script marks the view's cells.
  const auto [first, last] = ShownPeriod(kind, day);
  const holidays::HolidayCalendar calendar = HolidaysOf(request, first, last);
  markup.clear();
  AppendHolidayNotes(markup, request.language, first, last, calendar);
  AppendDayMarks(markup, request.language, TodayOf(request.options), first, last, calendar,
                 IsPersonal(kind) ? std::nullopt : std::optional<DateTime>(first));
  AppendPageEnd(markup);
  response->Write(markup);
  last_size.store(response->body().size(), std::memory_order_relaxed);
  return PageReply{200, response->TakeBody(), {}};
}

}  // namespace ostrand::web

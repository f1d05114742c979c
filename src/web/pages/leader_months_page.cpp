#include "web/pages/leader_months_page.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/html.h"
#include "core/text.h"
#include "web/data/department_plans.h"
#include "web/data/read_snapshot.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/i18n/http_error.h"
#include "web/pages/day_marks.h"
#include "web/pages/department_heading.h"
#include "web/pages/list_paging.h"
#include "web/pages/page_layout.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web {
namespace {

constexpr int kDefaultMonths = 3;
// The markers of the kinds of place 1 to 4, as in the leader month summary.
constexpr std::array<std::string_view, 4> kMarkers = {"△", "◇", "▲", "◆"};

std::string MonthCaption(Language language, const DateTime& first) {
  return Format(language, MessageId::kMonthOfYear,
                {std::to_string(first.year()), MonthName(language, first.month())});
}

// The short names of the weekdays, Sunday first.
std::vector<std::string> WeekdayInitials(Language language) {
  std::vector<std::string> names;
  std::string_view list = Text(language, MessageId::kWeekdayInitials);
  while (!list.empty()) {
    const std::size_t blank = list.find(' ');
    names.emplace_back(list.substr(0, blank));
    list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
  }
  names.resize(7);
  return names;
}

// One person's days: the kind of the last plan covering each day and the
// contents of all of them.
struct DayCell {
  std::optional<std::int64_t> kind;
  std::vector<std::string> tips;
};

void AppendHeading(std::string& out, Language language, const std::vector<DateTime>& months,
                   const DateTime& last, const DateTime& today,
                   const holidays::HolidayCalendar& calendar) {
  const std::vector<std::string> weekdays = WeekdayInitials(language);
  out += "<thead>\n<tr><th rowspan=\"2\" scope=\"col\" class=\"name\">";
  AppendEscapedHtml(out, Text(language, MessageId::kName));
  out += "</th>";
  for (const DateTime& first : months) {
    out += "<th scope=\"colgroup\" class=\"month-start month\" colspan=\"";
    out += std::to_string(DaysInMonth(first.year(), first.month()));
    out += "\">";
    AppendEscapedHtml(out, MonthCaption(language, first));
    out += "</th>";
  }
  out += "</tr>\n<tr>";
  for (std::int64_t serial = months.front().day(); serial <= last.day(); ++serial) {
    const DateTime day = DateTime::FromSerial(serial);
    std::string classes = DayClasses(day, today, calendar);
    if (day.day_of_month() == 1) classes += classes.empty() ? "month-start" : " month-start";
    out += "<th scope=\"col\"";
    if (!classes.empty()) {
      out += " class=\"";
      out += classes;
      out += '"';
    }
    const holidays::Holiday* holiday = calendar.Find(day);
    if (holiday != nullptr) {
      out += " title=\"";
      AppendEscapedHtml(out, HolidayTip(language, *holiday));
      out += '"';
    }
    out += "><time datetime=\"";
    out += IsoDate(day);
    out += "\">";
    out += std::to_string(day.day_of_month());
    out += "<br>";
    AppendEscapedHtml(out, weekdays[static_cast<std::size_t>(day.weekday() - 1)]);
    out += "</time>";
    if (holiday != nullptr) {
      out += "<span class=\"day-label\">";
      AppendEscapedHtml(out, HolidayTag(language, *holiday));
      out += "</span>";
    }
    out += "</th>";
  }
  out += "</tr>\n</thead>\n";
}

// A person's row up to the day cells.
void AppendPersonRowStart(std::string& out, const Person& person, const DateTime& first) {
  out += "<tr><th scope=\"row\" class=\"name\"><a href=\"";
  AppendEscapedHtml(out, http::LinkWithQuery(kPersonMonthPath, {{"personID", std::to_string(person.id)},
                                                                {"dt", IsoDate(first)}}));
  out += "\">";
  AppendEscapedHtml(out, person.name);
  out += "</a></th>";
}

constexpr std::string_view kPersonRowEnd = "</tr>\n";

// A person's day cells.
void AppendPersonCells(std::string& out, const std::vector<DayCell>& cells,
                       const std::vector<std::string>& classes) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const DayCell& cell = cells[i];
    const bool known = cell.kind && *cell.kind >= 1 && *cell.kind <= 4;
    out += "<td class=\"";
    out += known ? "sch" + std::to_string(*cell.kind) : std::string("sch");
    if (!classes[i].empty()) {
      out += ' ';
      out += classes[i];
    }
    out += '"';
    if (!cell.tips.empty()) {
      out += " title=\"";
      for (std::size_t t = 0; t < cell.tips.size(); ++t) {
        if (t > 0) out += "&#10;";
        AppendEscapedHtml(out, cell.tips[t]);
      }
      out += '"';
    }
    out += '>';
    if (known) out += kMarkers[static_cast<std::size_t>(*cell.kind - 1)];
    out += "</td>";
  }
}

// What a person's cells depend on besides the person's plans: the period
// and each day's classes.
std::string CellsContext(const DateTime& first, int count,
                         const std::vector<std::string>& classes) {
  std::string context = "months " + std::to_string(first.day()) + " " + std::to_string(count);
  for (const std::string& c : classes) {
    context += '|';
    context += c;
  }
  return context;
}

}  // namespace

PageReply RenderLeaderMonths(PageRequest& request, bool second) {
  RequireLeader(request.visitor);
  const std::optional<std::string> dt = FindField(request.query, "dt");
  const DateTime day = dt && !dt->empty() ? ReadDayValue("dt", *dt) : TodayOf(request.options);
  int count = kDefaultMonths;
  if (const std::optional<std::string> text = FindField(request.query, "months")) {
    const std::optional<std::int64_t> n = ReadWholeNumber(*text, kMaxMonths);
    if (!n || *n < 1) {
      throw HttpError(400, {MessageId::kBadMonths, {*text, std::to_string(kMaxMonths)}});
    }
    count = static_cast<int>(*n);
  }
  std::vector<DateTime> months;
  const DateTime first = DateTime::FromCivil(day.year(), day.month(), 1);
  // The calendar ends with December 9999.
  if ((9999 - first.year()) * 12 + (12 - first.month()) < count - 1) {
    throw HttpError(400, {MessageId::kNoMonthsAfter, {IsoDate(day), std::to_string(count)}});
  }
  for (int i = 0; i < count; ++i) months.push_back(first.AddMonths(i));
  const DateTime& last_month = months.back();
  const DateTime last =
      last_month.AddDays(DaysInMonth(last_month.year(), last_month.month()) - 1);
  const std::size_t day_count = static_cast<std::size_t>(last.day() - first.day() + 1);

  const std::string cond = LeaderCondition(request.options, second);
  const std::optional<std::int64_t> system = request.visitor.person.system_id;
  // The kept cells are checked and the persons read in one snapshot; only
  // the page's persons are read.
  const ReadSnapshot snapshot(request.db);
  MonthCellsCache::Use kept = request.databases.month_cells().Begin();
  const ListAsk ask = ReadListAsk(request.query);
  const PageWindow window = WindowOf(
      ask.page, ask.size, system ? CountLeaderListPersons(request.db, *system, cond, ask.filter) : 0);
  const std::vector<Person> persons =
      system ? LeaderListWindow(request.db, *system, cond, ask.filter, window.offset(), window.size)
             : std::vector<Person>{};
  const bool controls = ListControlsShown(ask, window);
  // What the links to other months over several months keep of the list:
  // its filter, size and page (leaderMonth.asp of one month has no list).
  std::string keep;
  AppendListQuery(keep, ask.filter, window.size, window.page);
  const std::string_view steps_keep = count > 1 ? std::string_view(keep) : std::string_view();
  const std::string_view path = second ? kLeader2MonthsPath : kLeaderMonthsPath;
  const holidays::HolidayCalendar calendar = HolidaysOf(request, first, last);
  const DateTime today = TodayOf(request.options);

  // Each day's classes, the same in every row.
  std::vector<std::string> classes(day_count);
  for (std::size_t i = 0; i < day_count; ++i) {
    const DateTime d = first.AddDays(static_cast<std::int64_t>(i));
    classes[i] = DayClasses(d, today, calendar);
    if (d.day_of_month() == 1) classes[i] += classes[i].empty() ? "month-start" : " month-start";
  }
  // Each person's cells as kept; the plans are read only when some are not.
  const std::string context = CellsContext(first, count, classes);
  std::vector<std::shared_ptr<const std::string>> kept_cells(persons.size());
  bool all_kept = true;
  for (std::size_t i = 0; i < persons.size(); ++i) {
    kept_cells[i] = kept.FindCells(std::to_string(persons[i].id), context);
    all_kept = all_kept && kept_cells[i] != nullptr;
  }
  // Only the plans of the page's persons.
  const std::vector<DepartmentPlan> plans =
      !all_kept ? PlansOfPersons(request.db, persons, first, last) : std::vector<DepartmentPlan>{};
  // The plans spread over their persons' days, in start order, as the
  // component's month rows spread them.
  std::map<std::int64_t, std::vector<DayCell>> rows;
  for (const DepartmentPlan& plan : plans) {
    std::vector<DayCell>& cells = rows[plan.person_id];
    if (cells.empty()) cells.resize(day_count);
    const std::int64_t from = std::max(plan.start.day(), first.day());
    const std::int64_t to = std::min(plan.end.day(), last.day());
    std::string tip(TrimBlanks(plan.content));
    if (tip.empty()) tip = plan.place_name;
    for (std::int64_t d = from; d <= to; ++d) {
      DayCell& cell = cells[static_cast<std::size_t>(d - first.day())];
      cell.kind = plan.kind_id;
      cell.tips.push_back(tip);
    }
  }

  const Language language = request.language;
  const std::string_view title =
      Text(language, second ? MessageId::kTitleLeader2Months : MessageId::kTitleLeaderMonths);
  std::string out;
  // The last page's size, so that the buffer need not grow while the rows
  // are copied in.
  static std::atomic<std::size_t> last_size{0};
  out.reserve(std::max(4096 + persons.size() * day_count * 24,
                       last_size.load(std::memory_order_relaxed) + 1024));
  AppendPageStart(out, language, title, &request.visitor, request.here);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, title);
  out += " ";
  AppendEscapedHtml(out, MonthCaption(language, first));
  if (count > 1) AppendEscapedHtml(out, "–" + MonthCaption(language, last_month));
  AppendDepartmentOfVisitor(out, request);
  out += "</h1>\n</div>\n<p class=\"month-steps\">";
  if (first.year() > 100 || first.month() > 1) {
    out += "<a href=\"";
    AppendEscapedHtml(out, MonthsAddress(second, first.AddMonths(-1), count) + std::string(steps_keep));
    out += "\">";
    AppendEscapedHtml(out, Text(language, MessageId::kPreviousMonth));
    out += "</a> ";
  }
  if (last_month.year() < 9999 || last_month.month() < 12) {
    out += "<a href=\"";
    AppendEscapedHtml(out, MonthsAddress(second, first.AddMonths(1), count) + std::string(steps_keep));
    out += "\">";
    AppendEscapedHtml(out, Text(language, MessageId::kNextMonth));
    out += "</a>";
  }
  out += "</p>\n";
  AppendMonthSpans(out, language, second, first, count, keep);
  if (controls) {
    AppendListFilter(out, language, path,
                     {{"dt", IsoDate(first)}, {"months", std::to_string(count)}}, ask.filter,
                     window.size, DutyChoices(request.db));
    AppendPager(out, language, window, [&](std::int64_t page, std::size_t size) {
      std::string link = http::LinkWithQuery(
          path, {{"dt", IsoDate(first)}, {"months", std::to_string(count)}});
      AppendListQuery(link, ask.filter, size, page);
      return link;
    });
  }
  out += "<div class=\"wide\">\n<table class=\"months\">\n";
  AppendHeading(out, language, months, last, today, calendar);
  out += "<tbody>\n";
  const std::vector<DayCell> empty(day_count);
  for (std::size_t i = 0; i < persons.size(); ++i) {
    const Person& person = persons[i];
    AppendPersonRowStart(out, person, first);
    if (kept_cells[i]) {
      out += *kept_cells[i];
    } else {
      const std::size_t cells_start = out.size();
      const auto found = rows.find(person.id);
      AppendPersonCells(out, found == rows.end() ? empty : found->second, classes);
      kept.OfferCells(std::to_string(person.id), context,
                      std::string_view(out).substr(cells_start));
    }
    out += kPersonRowEnd;
  }
  out += "</tbody>\n</table>\n</div>\n";
  AppendPlaceLegend(out, request, true);
  AppendHolidayNotes(out, language, first, last, calendar);
  AppendPageEnd(out);
  last_size.store(out.size(), std::memory_order_relaxed);
  return PageReply{200, std::move(out), {}};
}

}  // namespace ostrand::web

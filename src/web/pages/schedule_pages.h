// The six schedule pages under /schedule/. Each request runs one Schedulers
// instance of its own: OnStartPage with the request's page context, Init
// with the connection string, the page's members in order (each returned
// fragment written into the page), then OnEndPage, which leaves "strURL" in
// the visitor's session.
//
//   personMonth.asp   SetDispStyle 1, GetName heading, person picker,
//                     DispSwitch "m", DispMonthSelect, DispMonth, legend of
//                     the kinds of place, DispScript
//   personWeek.asp    heading, person picker, DispSwitch "w",
//                     DispWeekSelect, DispWeek, DispScript
//   leaderMonth.asp   DispSwitch "lm", DispMonthSelect, DispLeaderMonth with
//                     the leader condition, "</table>", legend of markers
//   leaderWeek.asp    DispSwitch "lw", DispWeekSelect, DispLeaderWeek, ...
//   leader2Month.asp, leader2Week.asp: the same with "lm2" / "lw2" and the
//                     second condition
//
// Query values: personID (personal pages: whose plan; default the visitor)
// and dt (a day of the period; default today), which must lie within the
// days the page can show.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/date.h"
#include "web/i18n/messages.h"
#include "web/pages/page_request.h"

namespace ostrand::web {

enum class ViewKind {
  kPersonMonth,
  kPersonWeek,
  kLeaderMonth,
  kLeaderWeek,
  kLeader2Month,
  kLeader2Week
};

struct ViewPage {
  std::string_view path;
  ViewKind kind;
  MessageId title;
};

// The six pages, personal month page first.
std::span<const ViewPage> ViewPages();
// The page served at that path, or null.
const ViewPage* FindViewPage(std::string_view path);

// The days the page can show: those from which its picker's steps stay
// within the calendar (month pages 101-1-1 .. 9998-12-31, week pages
// 100-2-1 .. 9999-11-30).
DayRange ShowableDays(const ViewPage& page);
// The days that every one of the six pages can show.
DayRange DaysEveryPageShows();
// Appends the legend of the kinds of place 1 to 4: their colours
// (`markers` false) or the markers of the leader month summaries.
void AppendPlaceLegend(std::string& out, PageRequest& request, bool markers);

// The most months a leader summary shows side by side.
inline constexpr int kMaxMonths = 6;
// The leader month summary (the second one when `second`) from the month of
// `day` over `months` months: leaderMonth.asp for one, leaderMonths.asp for
// more.
std::string MonthsAddress(bool second, const DateTime& day, int months);
// Appends the links to the summary from the month of `day` over 1 to
// kMaxMonths months, the one over `shown` months marked as current. `keep`
// ("&name=value...", encoded) ends the links over several months: what
// the visitor asked of the list of persons.
void AppendMonthSpans(std::string& out, Language language, bool second, const DateTime& day,
                      int shown, std::string_view keep = {});
// The person whose page the request asks for: the query's personID on the
// personal pages (default the visitor), the visitor on the leader pages.
// Throws HttpError as RenderViewPage.
Person ShownPerson(const ViewPage& page, PageRequest& request);
// The day the request asks for: the query's dt, default today. Throws
// HttpError 400 for a dt that does not read or that the page cannot show.
DateTime ShownDay(const ViewPage& page, const PageRequest& request);

// Renders the page. Throws HttpError 400 for a personID or dt that does not
// read or a dt outside ShowableDays, 403 for a person of another system or a leader page for somebody
// without a leading duty, 404 for an unknown person; a failing member's
// Error passes through (the server answers 500).
PageReply RenderViewPage(const ViewPage& page, PageRequest& request);

}  // namespace ostrand::web

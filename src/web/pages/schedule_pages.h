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
// and dt (a day of the period; default today).
#pragma once

#include <span>
#include <string_view>

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

// Renders the page. Throws HttpError 400 for a personID or dt that does not
// read, 403 for a person of another system or a leader page for somebody
// without a leading duty, 404 for an unknown person; a failing member's
// Error passes through (the server answers 500).
PageReply RenderViewPage(const ViewPage& page, PageRequest& request);

}  // namespace ostrand::web

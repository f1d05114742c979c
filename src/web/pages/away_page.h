// Who is away, away.asp?dt=: for anyone of a department, the persons of
// the visitor's system who are away on the day (default today) and in its
// week (Monday to Sunday), grouped by kind of place: in town (kind 2), out
// of town (3) and abroad (4); the office (1) is no absence. Each entry
// names the person (a link to the person's month page on that day), the
// place and the plan's days. The visitor sees what the month pages would
// show him or her: colleagues' shared plans with their contents, and his or
// her own plans, private ones included, with detail and content. Private
// plans of others are left out, as everywhere.
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// Renders the page. Throws HttpError 400 for a dt that does not read.
PageReply RenderAwayPage(PageRequest& request);

}  // namespace ostrand::web

// The leader month summary over several months, leaderMonths.asp and
// leader2Months.asp?dt=&months=: the host's own table (the component's
// summary covers one month), with the persons and the rules of the
// component's leader month summary: the persons of the leader's system that
// the operator's leader condition (or the second one) lists, by duty; per
// day the marker of the kind of place of the last shared plan covering it
// and the shared plans' contents in the tooltip. One scrolling table:
// a heading row of months and one of days, the name column fixed while the
// table scrolls sideways, each month's first day marked, weekends,
// holidays and today marked as on every page, and each name a link to the
// person's month page.
#pragma once

#include "web/pages/page_request.h"

namespace ostrand::web {

// Renders the table from the month of dt (default today) over `months`
// months (1 to kMaxMonths, default 3). `second` takes the second leader
// condition. Throws HttpError 400 for a dt or months that does not read,
// 403 for a visitor without a leading duty.
PageReply RenderLeaderMonths(PageRequest& request, bool second);

}  // namespace ostrand::web

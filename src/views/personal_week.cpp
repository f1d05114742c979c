#include "views/personal_week.h"

#include <string_view>

#include "calendar/week.h"
#include "calendar/weekday_caption.h"
#include "core/html.h"
#include "plans/day_tables.h"
#include "plans/person_day.h"
#include "plans/sql_values.h"

namespace ostrand::views {
std::string DispWeek(store::QuerySource& db, const Value& dtDate, const Value& pID,
                     const Value& viewerID) {
  plans::IdForSql(pID, "person id");

  std::string out;
  out.reserve(7 * 512);
  out += "<table cellspadding=2 cellspacing=1 width=100% >\r\n";

  Value day = calendar::GetPrevMonday(dtDate);
  for (int i = 0; i < 7; ++i) {
    const std::string cell = plans::GetPersonDay(db, day, pID, viewerID);
    const DateTime date = day.ToDate();
    const std::string day_text = EscapeHtml(day.ToText());
    out += "<tr><td class='schh' nowrap><br>";
    out += calendar::WeekdayName(date.weekday());
    out += "<br>&nbsp;";
    out += day_text;
    out += "&nbsp;<br><td></td><td width=100% class=td1 onclick=manage('";
    out += day_text;
    out += "');>";
    // "&nbsp;" holds no "|", so replacing before appending it gives the same text.
    plans::AppendReplacingSeparators(out, cell, "<br>");
    out += "&nbsp;";
    out += "</td></tr>";
    day = Value::Date(date.AddDays(1));
  }
  out += "</table>\r\n";
  return out;
}

}  // namespace ostrand::views

#include "views/personal_month.h"

#include <string_view>

#include "calendar/week.h"
#include "calendar/weekday_caption.h"
#include "core/date.h"
#include "core/html.h"
#include "plans/day_tables.h"
#include "plans/plan_select.h"
#include "plans/sql_values.h"

namespace ostrand::views {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kBlankCell = "<td class='sch0'>&nbsp;</td>";

// `day_prefix` is the month's "2001-12-", which the day number completes.
void AppendDayCell(std::string& out, std::string_view day_prefix, int n,
                   const plans::DayTables& days) {
  const Value& kind = days.kind[static_cast<std::size_t>(n)];
  out += "<td class='sch";
  if (kind.is_text()) {
    AppendEscapedHtml(out, kind.text());
  } else {
    AppendEscapedHtml(out, kind.ToText());
  }
  out += "' valign='top' onclick=manage('";
  out += day_prefix;
  const std::string number = std::to_string(n);
  out += number;
  out += "');>";
  out += number;
  out += "<br><span style='font-size:12px;'>";
  plans::AppendReplacingSeparators(out, days.text[static_cast<std::size_t>(n)], "<br>");
  out += "</span></td>";
  out += kCrLf;
}

}  // namespace

std::string PersonalMonthSql(std::string_view id, const DateTime& first, const DateTime& last,
                             bool own) {
  return plans::PeriodPlanSql(id, first.ToText(), last.ToText()) +
         (own ? "     order by planStartTime" : "    and planFlagID=1 order by planStartTime");
}

std::string DispMonthHeader() {
  std::string out =
      "<table border=1 bordercolor=#FFFFFF cellspadding=0 cellspacing=0 width=100% "
      "height=85%>\r\n"
      "<tr class='schh'>";
  // Monday (weekday 2) to Saturday (7), then Sunday (1).
  for (int i = 0; i < 7; ++i) {
    out += "<th height='23' nowrap>";
    out += calendar::WeekdayName((i + 1) % 7 + 1);
    out += "</th>";
  }
  out += "</tr>\r\n";
  return out;
}

std::string DispMonthContent(store::QuerySource& db, const Value& dtDate, const Value& pID,
                             const Value& viewerID, const SqlTrace& trace) {
  const std::string id = plans::IdForSql(pID, "person id");
  const DateTime date = dtDate.ToDate();
  const bool own = SameWholeNumber(pID, viewerID);

  const int month = date.month();
  const DateTime first = DateTime::FromCivil(date.year(), month, 1);
  const DateTime last = DateTime::FromCivil(date.year(), month, DaysInMonth(date.year(), month));

  const std::string sql = PersonalMonthSql(id, first, last, own);
  if (trace) trace(sql);
  store::RecordSet rs = db.Query(sql);
  plans::DayTables days;
  days.MarkContents(rs, first, last);

  std::size_t content_size = 0;
  for (const std::string& t : days.text) content_size += t.size();
  std::string out;
  out.reserve(6 * 7 * 160 + content_size * 5 / 4);

  // Rows run while the Monday that begins them lies in the previous or the
  // shown month, so the last row holds the month's last day. Cells go by
  // their day of the month: below 1 the previous month, past the last day
  // the next.
  const DateTime first_monday = calendar::GetFirstMonday(dtDate).date();
  const int days_in_month = last.day_of_month();
  std::string day_prefix = first.ToText();
  day_prefix.resize(day_prefix.size() - 1);  // "2001-12-1" without its "1"
  int n = 1 + static_cast<int>(first_monday.day() - first.day());
  while (n <= days_in_month) {
    out += " <tr height=40>";
    out += kCrLf;
    for (int i = 0; i < 7; ++i, ++n) {
      if (n < 1 || n > days_in_month) {
        out += kBlankCell;
      } else {
        AppendDayCell(out, day_prefix, n, days);
      }
    }
    out += " </tr>";
    out += kCrLf;
  }
  out += " </table>";
  out += kCrLf;
  return out;
}

}  // namespace ostrand::views

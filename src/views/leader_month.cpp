#include "views/leader_month.h"

#include <array>

#include "core/html.h"
#include "plans/day_tables.h"
#include "plans/plan_select.h"
#include "plans/sql_values.h"
#include "views/leader_rows.h"

namespace ostrand::views {
namespace {

// Weekday captions by weekday number minus 1, Sunday first.
constexpr std::array<std::string_view, 7> kWeekdayNames = {"日", "一", "二", "三",
                                                           "四", "五", "六"};

// The marker of a kind of place; "&nbsp;" for no plan and unknown kinds.
std::string_view Marker(const Value& kind) {
  if (kind.is_empty() || kind.is_null() || !kind.ReadsAsNumber()) return "&nbsp;";
  const double n = kind.ToNumber();
  if (n == 1) return "△";
  if (n == 2) return "◇";
  if (n == 3) return "▲";
  if (n == 4) return "◆";
  return "&nbsp;";
}

}  // namespace

std::string DispLeaderMonthHeader(const Value& dtDate) {
  const DateTime date = dtDate.ToDate();
  const int days = DaysInMonth(date.year(), date.month());
  const DateTime first = DateTime::FromCivil(date.year(), date.month(), 1);

  std::string out;
  out.reserve(128 + days * 48);
  out += "<table border=1 cellspadding=0 cellspacing=0 width=100% >\r\n";
  out += "<tr class='schh'><th nowrap>姓&nbsp;&nbsp;名</th>";
  // The weekday moves on by itself: stepping the date past the last day
  // would leave the calendar's range in December 9999.
  int weekday = first.weekday() - 1;
  for (int n = 1; n <= days; ++n) {
    out += "<th height='23' nowrap>";
    out += std::to_string(n);
    out += "<br>";
    out += kWeekdayNames[weekday];
    out += "</th>";
    weekday = (weekday + 1) % 7;
  }
  out += "</tr>\r\n";
  return out;
}

std::string PersonMonthSql(std::string_view id, const DateTime& first, const DateTime& last) {
  return plans::PeriodPlanSql(id, first.ToText(), last.ToText()) +
         "   and planFlagID=1 order by planStartTime ";
}

std::string DispPersonMonth(store::QuerySource& db, const Value& dtDate, const Value& pID) {
  const std::string id = plans::IdForSql(pID, "person id");
  const DateTime date = dtDate.ToDate();
  const int days = DaysInMonth(date.year(), date.month());
  const DateTime first = DateTime::FromCivil(date.year(), date.month(), 1);
  const DateTime last = DateTime::FromCivil(date.year(), date.month(), days);

  store::RecordSet rs = db.Query(PersonMonthSql(id, first, last));
  plans::DayTables tables;
  tables.MarkContents(rs, first, last);

  std::size_t text_size = 0;
  for (const std::string& t : tables.text) text_size += t.size();
  std::string out;
  out.reserve(days * 48 + text_size);
  for (int n = 1; n <= days; ++n) {
    out += "<td title='";
    plans::AppendReplacingSeparators(out, tables.text[n], "\r\n");
    out += "' class='sch";
    AppendEscapedHtml(out, tables.kind[n].ToText());
    out += "' >";
    out += Marker(tables.kind[n]);
    out += "</td>";
  }
  return out;
}

std::string DispLeaderMonthContent(store::QuerySource& db, const Value& dtDate,
                                   const Value& strCond, const Value& systemID) {
  static_cast<void>(dtDate.ToDate());  // a bad date fails before the person list is read
  return DispLeaderRows(db, systemID, strCond,
                        [&](const Value& pID) { return DispPersonMonth(db, dtDate, pID); });
}

}  // namespace ostrand::views

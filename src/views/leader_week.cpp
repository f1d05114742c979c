#include "views/leader_week.h"

#include "calendar/week.h"
#include "calendar/weekday_caption.h"
#include "core/html.h"
#include "core/text.h"
#include "plans/day_tables.h"
#include "plans/plan_select.h"
#include "plans/sql_values.h"
#include "views/leader_rows.h"

namespace ostrand::views {

std::string DispLeaderWeekHeader(const Value& dtDate) {
  const Value monday = calendar::GetPrevMonday(dtDate);
  DateTime day = monday.ToDate();

  std::string out;
  out.reserve(512);
  out += "<table cellspadding=0 cellspacing=1 width=100% height=85%>\r\n";
  out += "<tr class='schh'><th height='23' nowrap>姓名</th>";
  for (int i = 0; i < 7; ++i) {
    out += "<th height='23' nowrap>";
    out += calendar::WeekdayName(day.weekday());
    out += "<br>";
    AppendEscapedHtml(out, i == 0 ? monday.ToText() : day.ToText());
    out += "</th>";
    day = day.AddDays(1);
  }
  out += "</tr>\r\n";
  return out;
}

std::string WeekPlanText(const store::RecordSet& rs, bool own) {
  std::string out(TrimBlanks(rs.Field("Type2").ToText()));
  if (!own) return out;
  out += rs.Field("planAddrDetail").ToText();
  out += ":";
  out += rs.Field("planContent").ToText();
  out += rs.Field("planAddition").ToText();
  return out;
}

std::string PersonWeekSql(std::string_view id, const DateTime& monday, const DateTime& sunday) {
  return plans::PeriodPlanSql(id, monday.ToText(), sunday.ToText()) +
         "    and planFlagID=1 order by planStartTime";
}

std::string DispPersonWeek(store::QuerySource& db, const Value& dtDate, const Value& pID,
                           const Value& viewerID,
                           const std::function<void(const std::string&)>& trace) {
  const std::string id = plans::IdForSql(pID, "person id");
  const DateTime monday = calendar::GetPrevMonday(dtDate).ToDate();
  const DateTime sunday = monday.AddDays(6);
  const bool own = SameWholeNumber(pID, viewerID);

  const std::string sql = PersonWeekSql(id, monday, sunday);
  if (trace) trace(sql);
  store::RecordSet rs = db.Query(sql);

  // Plans are marked by calendar day; the week's seven days have seven
  // different day numbers.
  const DateTime first = monday.DateOnly();
  const DateTime last = sunday.DateOnly();
  plans::DayTables tables;
  std::string piece;
  for (; !rs.Eof(); rs.MoveNext()) {
    const DateTime start = rs.Field("planStartTime").ToDate().DateOnly();
    const DateTime end = rs.Field("planEndTime").ToDate().DateOnly();
    piece.clear();
    AppendEscapedHtml(piece, WeekPlanText(rs, own));
    tables.Mark(start, end, first, last, rs.Field("Type1ID"), piece);
  }

  std::size_t text_size = 0;
  for (const std::string& t : tables.text) text_size += t.size();
  std::string out;
  out.reserve(7 * 32 + text_size);
  for (DateTime day = first; day <= last; day = day.AddDays(1)) {
    const int n = day.day_of_month();
    out += "<td class='sch";
    AppendEscapedHtml(out, tables.kind[n].ToText());
    out += "' >";
    plans::AppendReplacingSeparators(out, tables.text[n], "\r\n");
    out += "</td>";
  }
  return out;
}

std::string DispLeaderWeekContent(store::QuerySource& db, const Value& dtDate, const Value& strCond,
                                  const Value& systemID, const Value& viewerID,
                                  const std::function<void(const std::string&)>& trace) {
  static_cast<void>(dtDate.ToDate());  // a bad date fails before the person list is read
  return DispLeaderRows(db, systemID, strCond, [&](const Value& pID) {
    return DispPersonWeek(db, dtDate, pID, viewerID, trace);
  });
}

}  // namespace ostrand::views

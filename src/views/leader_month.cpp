#include "views/leader_month.h"

#include <algorithm>

#include "calendar/weekday_caption.h"
#include "core/html.h"
#include "plans/day_tables.h"
#include "plans/place_kind.h"
#include "plans/plan_select.h"
#include "plans/sql_values.h"
#include "views/leader_rows.h"

namespace ostrand::views {
namespace {

// The marker of a kind of place; "&nbsp;" for no plan and unknown kinds.
std::string_view Marker(const Value& kind) {
  if (kind.is_empty() || kind.is_null() || !kind.ReadsAsNumber()) return "&nbsp;";
  const double n = kind.ToNumber();
  for (int k = 1; k <= 4; ++k) {
    if (n == k) return plans::PlaceMarker(k);
  }
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
  int weekday = first.weekday();
  for (int n = 1; n <= days; ++n) {
    out += "<th height='23' nowrap>";
    out += std::to_string(n);
    out += "<br>";
    out += calendar::WeekdayCaption(weekday);
    out += "</th>";
    weekday = weekday % 7 + 1;
  }
  out += "</tr>\r\n";
  return out;
}

std::string PersonMonthSql(std::string_view id, const DateTime& first, const DateTime& last) {
  return plans::PeriodPlanSql(id, first.ToText(), last.ToText()) +
         "   and planFlagID=1 order by planStartTime ";
}

std::string DispPersonMonth(store::QuerySource& db, const Value& dtDate, const Value& pID) {
  std::string out;
  AppendPersonMonth(out, db, dtDate, pID);
  return out;
}

void AppendPersonMonth(std::string& out, store::QuerySource& db, const Value& dtDate,
                       const Value& pID) {
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
  // Room grows by doubling: a summary appends a thousand rows to one buffer.
  const std::size_t needed = out.size() + static_cast<std::size_t>(days) * 48 + text_size;
  if (out.capacity() < needed) out.reserve(std::max(needed, out.capacity() * 2));
  for (int n = 1; n <= days; ++n) {
    out += "<td title='";
    plans::AppendReplacingSeparators(out, tables.text[n], "\r\n");
    out += "' class='sch";
    const Value& kind = tables.kind[n];
    if (kind.is_text()) {
      AppendEscapedHtml(out, kind.text());
    } else {
      AppendEscapedHtml(out, kind.ToText());
    }
    out += "' >";
    out += Marker(kind);
    out += "</td>";
  }
}

std::string DispLeaderMonthContent(store::QuerySource& db, const Value& dtDate,
                                   const Value& strCond, const Value& systemID) {
  std::string out;
  AppendLeaderMonthContent(out, db, dtDate, strCond, systemID, nullptr);
  return out;
}

void AppendLeaderMonthContent(std::string& out, store::QuerySource& db, const Value& dtDate,
                              const Value& strCond, const Value& systemID, KeptMonthCells* kept) {
  const DateTime date = dtDate.ToDate();  // a bad date fails before the person list is read
  const DateTime first = DateTime::FromCivil(date.year(), date.month(), 1);
  ForEachListedPerson(db, systemID, strCond, [&](const Value& pID, const Value& name) {
    AppendLeaderRowStart(out, name);
    if (kept == nullptr) {
      AppendPersonMonth(out, db, dtDate, pID);
    } else {
      // The list's id as the cells' query puts it; it fails as that would.
      const std::string id = plans::IdForSql(pID, "person id");
      if (const std::shared_ptr<const std::string> cells = kept->Find(id, first)) {
        out += *cells;
      } else {
        const std::size_t cells_start = out.size();
        AppendPersonMonth(out, db, dtDate, pID);
        kept->Offer(id, first, std::string_view(out).substr(cells_start));
      }
    }
    out += kLeaderRowEnd;
  });
}

}  // namespace ostrand::views

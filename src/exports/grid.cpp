#include "exports/grid.h"

#include <array>
#include <functional>

#include "calendar/week.h"
#include "core/date_text.h"
#include "core/error.h"
#include "core/text.h"
#include "exports/sheet_cells.h"
#include "plans/day_tables.h"
#include "plans/plan_record.h"
#include "plans/sql_values.h"
#include "views/leader_month.h"
#include "views/leader_rows.h"
#include "views/leader_week.h"
#include "views/personal_month.h"

namespace ostrand::exports {
namespace {

using PlanText = std::function<std::string(const store::RecordSet&)>;

// 1..4 when the kind of place is exactly that number (the four kinds the
// pages colour), 0 otherwise.
int ColouredKind(const Value& kind) {
  if (kind.is_null() || kind.is_empty() || !kind.ReadsAsNumber()) return 0;
  const double n = kind.ToNumber();
  return (n == 1 || n == 2 || n == 3 || n == 4) ? static_cast<int>(n) : 0;
}

bool IsShared(const Value& flag) {
  return !flag.is_null() && !flag.is_empty() && flag.ReadsAsNumber() && flag.ToNumber() == 1;
}

// The cells of `days` (at most 31 consecutive days) from the plan-select rows
// of rs, as plans::DayTables spreads them for the pages: each day lists the
// plans covering it in the order of the rows and takes the kind of the last.
std::vector<GridCell> CellsOf(store::RecordSet& rs, const std::vector<DateTime>& days,
                              const PlanText& text) {
  struct Day {
    std::string text;
    Value kind;
  };
  std::array<Day, 32> by_day;
  for (; !rs.Eof(); rs.MoveNext()) {
    const DateTime start = rs.Field("planStartTime").ToDate().DateOnly();
    const DateTime end = rs.Field("planEndTime").ToDate().DateOnly();
    const std::string line = PlanLine(TrimBlanks(rs.Field("Type1").ToText()), text(rs),
                                      IsShared(rs.Field("planFlagID")));
    plans::ForEachCoveredDay(start, end, days.front(), days.back(), [&](int n) {
      if (!by_day[n].text.empty()) by_day[n].text += '\n';
      by_day[n].text += line;
      by_day[n].kind = rs.Field("Type1ID");
    });
  }
  std::vector<GridCell> cells;
  cells.reserve(days.size());
  for (const DateTime& day : days) {
    Day& d = by_day[day.day_of_month()];
    cells.push_back({ColouredKind(d.kind), std::move(d.text)});
  }
  return cells;
}

std::string MonthTitle(std::string_view view, const DateTime& day) {
  return std::string(view) + " " + MonthText(day);
}

std::vector<DateTime> DaysFrom(const DateTime& first, const DateTime& last) {
  std::vector<DateTime> days;
  for (std::int64_t serial = first.day(); serial <= last.day(); ++serial) {
    days.push_back(DateTime::FromSerial(serial));
  }
  return days;
}

}  // namespace

Grid LeaderMonthGrid(store::QuerySource& db, const Value& dtDate, const Value& strCond,
                     const Value& systemID) {
  const DateTime date = dtDate.ToDate();
  const DateTime first = DateTime::FromCivil(date.year(), date.month(), 1);
  const DateTime last =
      DateTime::FromCivil(date.year(), date.month(), DaysInMonth(date.year(), date.month()));
  Grid grid{MonthTitle("月汇总", first), DaysFrom(first, last), {}};
  views::ForEachListedPerson(db, systemID, strCond, [&](const Value& id, const Value& name) {
    store::RecordSet rs =
        db.Query(views::PersonMonthSql(plans::IdForSql(id, "person id"), first, last));
    grid.rows.push_back({name.ToText(), CellsOf(rs, grid.days, plans::MonthPlanText)});
  });
  return grid;
}

Grid LeaderWeekGrid(store::QuerySource& db, const Value& dtDate, const Value& strCond,
                    const Value& systemID, const Value& viewerID) {
  const DateTime monday = calendar::GetPrevMonday(dtDate).ToDate();
  const DateTime sunday = monday.AddDays(6);
  Grid grid{"周汇总 " + DayHeading(monday).substr(0, 10),
            DaysFrom(monday.DateOnly(), sunday.DateOnly()),
            {}};
  views::ForEachListedPerson(db, systemID, strCond, [&](const Value& id, const Value& name) {
    const bool own = SameWholeNumber(id, viewerID);
    store::RecordSet rs =
        db.Query(views::PersonWeekSql(plans::IdForSql(id, "person id"), monday, sunday));
    grid.rows.push_back({name.ToText(), CellsOf(rs, grid.days, [own](const auto& row) {
                           return views::WeekPlanText(row, own);
                         })});
  });
  return grid;
}

Grid PersonMonthGrid(store::QuerySource& db, const Value& dtDate, const Value& pID,
                     const Value& viewerID) {
  const std::string id = plans::IdForSql(pID, "person id");
  const DateTime date = dtDate.ToDate();
  const bool own = SameWholeNumber(pID, viewerID);
  const DateTime first = DateTime::FromCivil(date.year(), date.month(), 1);
  const DateTime last =
      DateTime::FromCivil(date.year(), date.month(), DaysInMonth(date.year(), date.month()));

  const std::optional<std::string> name = plans::LoadPersonName(db, pID);
  if (!name) throw Error("no person with id " + id);
  Grid grid{MonthTitle("月计划", first), DaysFrom(first, last), {}};
  store::RecordSet rs = db.Query(views::PersonalMonthSql(id, first, last, own));
  grid.rows.push_back({*name, CellsOf(rs, grid.days, plans::MonthPlanText)});
  return grid;
}

}  // namespace ostrand::exports

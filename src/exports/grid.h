// Grid: what a schedule page shows, as a table for a spreadsheet: one row
// per person, one column per day. The leader month and week summaries and a
// person's month plan each make one, with the pages' queries and the pages'
// access rules:
//   leader month   the shared plans of every person, their contents;
//   leader week    the shared plans; in the viewer's own row place, detail,
//                  content and addition, in the others' rows the place alone;
//   person's month one's own plans all, with their contents (private ones
//                  marked); a colleague's shared plans only.
// A cell lists the day's plans in start order, one line each (see
// sheet_cells.h), and takes the kind of place of the day's last plan, as the
// page's cell does.
#pragma once

#include <string>
#include <vector>

#include "core/date.h"
#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::exports {

struct GridCell {
  int kind = 0;      // 1..4: the kind of place of the day's last plan; 0 no plan or another kind
  std::string text;  // one line per plan, joined by "\n"; "" for a day without plans
};

struct GridRow {
  std::string name;             // the person's name as stored
  std::vector<GridCell> cells;  // one per day of the grid
};

struct Grid {
  std::string title;           // the sheet's name, such as "月汇总 2001-12"
  std::vector<DateTime> days;  // the day columns, in order
  std::vector<GridRow> rows;
};

// The leader month summary of the month of dtDate: the persons of system
// `systemID` that satisfy `strCond` (views::PersonListSql), every day of the
// month. Throws Error as views::DispLeaderMonthContent.
Grid LeaderMonthGrid(store::QuerySource& db, const Value& dtDate, const Value& strCond,
                     const Value& systemID);

// The leader week summary of the week (Monday to Sunday) of dtDate, seen by
// `viewerID` (the signed-in person). Throws Error as
// views::DispLeaderWeekContent.
Grid LeaderWeekGrid(store::QuerySource& db, const Value& dtDate, const Value& strCond,
                    const Value& systemID, const Value& viewerID);

// The month plan of person pID for the month of dtDate, seen by `viewerID`:
// one row. Throws Error as views::DispMonthContent, and when there is no
// such person.
Grid PersonMonthGrid(store::QuerySource& db, const Value& dtDate, const Value& pID,
                     const Value& viewerID);

}  // namespace ostrand::exports

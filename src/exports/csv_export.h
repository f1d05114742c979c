// The CSV exports (see csv.h for the form): a grid of a schedule page, and a
// person's plans as a list that the CSV reader takes back without loss.
#pragma once

#include <string>
#include <vector>

#include "exports/grid.h"
#include "plans/plan_record.h"

namespace ostrand::exports {

// The byte order mark, a heading record ("姓名", then the DayHeading of
// every day), then one record per row: the name, then the text of each
// cell. Texts are cleaned of control characters (but tab and line feed) and
// ill-formed UTF-8.
std::string WriteGridCsv(const Grid& grid);

// The byte order mark, the kPlanListHeadings, then one record per plan:
// start and end ("2001-12-05 09:00", seconds when not zero), kind of place,
// place, detail, content, addition and kSharedWord or kPrivateWord.
std::string WritePlanListCsv(const std::vector<plans::PlanRecord>& plans);

}  // namespace ostrand::exports

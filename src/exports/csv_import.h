// Reading a CSV file into plans, for importing. The reader knows two forms by
// their heading record:
//   a grid   "姓名" and day headings (what WriteGridCsv writes, such as a
//            person's month): each line of a day cell (see PlanLine) is one
//            plan of that day from 0:00 to 23:59, the k-th line of a cell
//            starting k minutes after midnight so that the day lists the
//            plans in the same order; ImportedPlan::person is the row's name;
//   a list   the kPlanListHeadings in any order (what WritePlanListCsv
//            writes; 开始 and 结束 are required, the others may be missing):
//            one plan per record; 类型 is kSharedWord (or empty) for a shared
//            plan and kPrivateWord for a private one.
// A record or cell line that cannot be read is reported with its line and a
// reason and gives no plan; the other records still do. Never throws.
#pragma once

#include <string_view>

#include "plans/plan_import.h"

namespace ostrand::exports {

// The plans of `text`, in the order of the file. A file whose heading is
// neither form gives one problem at the heading's line and no plan.
plans::ImportResult ReadPlansCsv(std::string_view text);

}  // namespace ostrand::exports

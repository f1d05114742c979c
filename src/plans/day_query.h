// The query of one person's plans on one day, shared by the full and the
// compact day cell.
#pragma once

#include <string>
#include <string_view>

#include "plans/plan_select.h"

namespace ostrand::plans {

// The plan select for the person `id` restricted to the plans that start on
// or before the day and end on or after it, counted in whole days. The text
// ends in ")>= 0 " so that a flag condition and the order clause can follow.
// Both values must have passed IdForSql / DateForSql.
inline std::string DayPlanSql(std::string_view id, std::string_view day) {
  return PeriodPlanSql(id, day, day) + " ";
}

}  // namespace ostrand::plans

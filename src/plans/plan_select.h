// The select that every plan query of the component starts with: a person's
// plans with their kind of place (Type1ID, Type1), place (Type2) and texts.
// It ends with the person condition waiting for its value.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::plans {

inline constexpr std::string_view kPlanSelect =
    "select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,"
    "Type1=planAddrType.planAddrTypeName,Type2=planAddr.planAddrName,planAddrDetail,planTypeID,"
    "planContent,planAddition,planFlagID from personPlan,planAddrType,planAddr where "
    "personPlan.planAddrTypeID=planAddrType.planAddrTypeID and "
    "personPlan.planAddrID=planAddr.planAddrID and personID=";

// The plan select for the person `id` restricted to the plans that start on
// or before `last` and end on or after `first`, counted in whole days; the
// text ends right after ")>= 0" so that each view adds its own spacing, flag
// condition and order clause. The values are put in as they are: they must
// have passed IdForSql / DateForSql (or be the text of a DateTime).
inline std::string PeriodPlanSql(std::string_view id, std::string_view first,
                                 std::string_view last) {
  std::string sql;
  sql.reserve(kPlanSelect.size() + id.size() + first.size() + last.size() + 128);
  sql += kPlanSelect;
  sql += id;
  sql += " and DATEDIFF(dd, planStartTime, '";
  sql += last;
  sql += "') >= 0 AND DATEDIFF(dd, '";
  sql += first;
  sql += "', planEndTime)>= 0";
  return sql;
}

}  // namespace ostrand::plans

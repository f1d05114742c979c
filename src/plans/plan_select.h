// The select that every plan query of the component starts with: a person's
// plans with their kind of place (Type1ID, Type1), place (Type2) and texts.
// It ends with the person condition waiting for its value.
#pragma once

#include <string_view>

namespace ostrand::plans {

inline constexpr std::string_view kPlanSelect =
    "select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,"
    "Type1=planAddrType.planAddrTypeName,Type2=planAddr.planAddrName,planAddrDetail,planTypeID,"
    "planContent,planAddition,planFlagID from personPlan,planAddrType,planAddr where "
    "personPlan.planAddrTypeID=planAddrType.planAddrTypeID and "
    "personPlan.planAddrID=planAddr.planAddrID and personID=";

}  // namespace ostrand::plans

// The values of personPlan.planFlagID. A shared plan shows to colleagues and
// in the leader summaries; a private one only to its own person. The
// component's queries select shared plans with "planFlagID=1" in their
// texts, which stay as they are.
#pragma once

#include <cstdint>

namespace ostrand::store {

inline constexpr std::int64_t kSharedPlanFlag = 1;
inline constexpr std::int64_t kPrivatePlanFlag = 2;

}  // namespace ostrand::store

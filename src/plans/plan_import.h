// What the readers of imported files (calendar files, CSV) return: the plans
// they could read, each with the line it came from, and a reason for every
// line or event they skipped. A plan is either read whole or skipped whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "plans/plan_record.h"

namespace ostrand::plans {

// The most characters a plan's detail, content or addition may hold (and a
// kind or place name); the day editor keeps to the same bound.
inline constexpr std::size_t kMaxPlanTextLength = 500;

struct ImportedPlan {
  int line = 0;        // 1-based line of the file where the plan's record begins
  std::string person;  // the name the file gives the plan's person; "" when it names none
  PlanRecord plan;     // id 0, no last-modified time, no revision
};

struct ImportProblem {
  int line = 0;  // 1-based line of the file
  std::string reason;
};

struct ImportResult {
  std::vector<ImportedPlan> plans;  // in the order of the file
  std::vector<ImportProblem> problems;
};

// Why the plan cannot be stored, or nothing when it can: its end lies before
// its start, or one of its texts is not UTF-8, holds a control character
// other than tab and line feed, or is longer than kMaxPlanTextLength
// characters. The reason names the field and, for a bad time, the times.
std::optional<std::string> PlanRecordProblem(const PlanRecord& plan);

}  // namespace ostrand::plans

// What the readers of imported files (calendar files, CSV) return: the plans
// they could read, each with the line it came from, and a reason for every
// line or event they skipped. A plan is either read whole or skipped whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plans/plan_record.h"

namespace ostrand::plans {

// The most characters a plan's detail, content or addition may hold (and a
// kind or place name); the day editor keeps to the same bound.
inline constexpr std::size_t kMaxPlanTextLength = 500;

// The largest file the readers take; a larger one is refused whole.
inline constexpr std::size_t kMaxImportFileBytes = 64 * 1024 * 1024;

struct ImportedPlan {
  int line = 0;        // 1-based line of the file where the plan's record begins
  std::string person;  // the name the file gives the plan's person; "" when it names none
  PlanRecord plan;     // id 0, no last-modified time, no revision
  // The fields whose line breaks the reader replaced (FlattenLineBreaks).
  std::vector<std::string> flattened;
};

struct ImportProblem {
  int line = 0;  // 1-based line of the file
  std::string reason;
};

struct ImportResult {
  std::vector<ImportedPlan> plans;  // in the order of the file
  std::vector<ImportProblem> problems;
};

// What keeps a text from being a plan's detail, content or addition, or a
// kind or place name: the day editor's rule, which imported plans keep too.
enum class PlanTextFault {
  kNone,
  kNotUtf8,   // an ill-formed UTF-8 sequence
  kControl,   // a control character other than tab (C0, DEL, C1), line
              // breaks included, or U+2028 / U+2029
  kTooLong,   // more than kMaxPlanTextLength characters
};

// The first fault of the text in the order above, or kNone.
PlanTextFault CheckPlanText(std::string_view text);

// Replaces each run of line breaks (CR, LF, VT, FF, U+0085, U+2028, U+2029)
// in the plan's texts by one space, so that a multi-line description from
// another calendar program fits a one-line field. Returns the names of the
// fields it changed ("content", "addition", ...), in the order of
// PlanRecordProblem.
std::vector<std::string> FlattenLineBreaks(PlanRecord& plan);

// Why the plan cannot be stored, or nothing when it can: its end lies before
// its start, or one of its texts has a PlanTextFault. The reason names the
// field and the fault (the control character's code) and, for a bad time,
// the times.
std::optional<std::string> PlanRecordProblem(const PlanRecord& plan);

}  // namespace ostrand::plans

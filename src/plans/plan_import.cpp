#include "plans/plan_import.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "core/utf8.h"

namespace ostrand::plans {

std::optional<std::string> PlanRecordProblem(const PlanRecord& plan) {
  if (plan.end < plan.start) {
    return "ends (" + plan.end.ToText() + ") before it starts (" + plan.start.ToText() + ")";
  }
  const std::pair<std::string_view, const std::string*> texts[] = {{"kind of place", &plan.kind},
                                                                   {"place", &plan.place},
                                                                   {"detail", &plan.detail},
                                                                   {"content", &plan.content},
                                                                   {"addition", &plan.addition}};
  for (const auto& [field, text] : texts) {
    if (!IsValidUtf8(*text)) return std::string(field) + " is not UTF-8 text";
    if (const int c = FirstForbiddenControl(*text); c >= 0) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      return std::string(field) + " holds the control character " + code;
    }
    if (CountCharacters(*text) > kMaxPlanTextLength) {
      return std::string(field) + " is longer than " + std::to_string(kMaxPlanTextLength) +
             " characters";
    }
  }
  return std::nullopt;
}

}  // namespace ostrand::plans

#include "plans/plan_import.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

#include "core/utf8.h"

namespace ostrand::plans {
namespace {

// A plan's texts with the names the reasons give them.
template <typename Plan>
auto TextsOf(Plan& plan) {
  return std::array<std::pair<std::string_view, decltype(&plan.kind)>, 5>{{
      {"kind of place", &plan.kind},
      {"place", &plan.place},
      {"detail", &plan.detail},
      {"content", &plan.content},
      {"addition", &plan.addition},
  }};
}

// The length of the line break that `text` starts with, or 0.
std::size_t LineBreakLength(std::string_view text) {
  if (text.empty()) return 0;
  const char c = text[0];
  if (c == '\r' || c == '\n' || c == '\v' || c == '\f') return 1;
  if (text.starts_with("\xC2\x85")) return 2;
  if (text.starts_with("\xE2\x80\xA8") || text.starts_with("\xE2\x80\xA9")) return 3;
  return 0;
}

// The first control character of the text as its code point, or -1. The
// text must be valid UTF-8.
long FirstControl(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    if (const std::size_t n = ControlCharacterLength(rest); n > 0) {
      return n == 1 ? static_cast<unsigned char>(rest[0])
                    : static_cast<unsigned char>(rest[1]);  // C2 80..9F is U+0080..U+009F
    }
    if (LineBreakLength(rest) == 3) return rest[2] == '\xA8' ? 0x2028 : 0x2029;
  }
  return -1;
}

}  // namespace

PlanTextFault CheckPlanText(std::string_view text) {
  if (!IsValidUtf8(text)) return PlanTextFault::kNotUtf8;
  if (FirstControl(text) >= 0) return PlanTextFault::kControl;
  if (CountCharacters(text) > kMaxPlanTextLength) return PlanTextFault::kTooLong;
  return PlanTextFault::kNone;
}

std::vector<std::string> FlattenLineBreaks(PlanRecord& plan) {
  std::vector<std::string> changed;
  for (const auto& [field, text] : TextsOf(plan)) {
    std::size_t first = 0;
    while (first < text->size() && LineBreakLength(std::string_view(*text).substr(first)) == 0) {
      ++first;
    }
    if (first == text->size()) continue;
    std::string out = text->substr(0, first);
    for (std::size_t i = first; i < text->size();) {
      std::size_t n = LineBreakLength(std::string_view(*text).substr(i));
      if (n == 0) {
        out += (*text)[i++];
        continue;
      }
      out += ' ';
      for (; n > 0; n = LineBreakLength(std::string_view(*text).substr(i))) i += n;
    }
    *text = std::move(out);
    changed.emplace_back(field);
  }
  return changed;
}

std::optional<std::string> PlanRecordProblem(const PlanRecord& plan) {
  if (plan.end < plan.start) {
    return "ends (" + plan.end.ToText() + ") before it starts (" + plan.start.ToText() + ")";
  }
  for (const auto& [field, text] : TextsOf(plan)) {
    switch (CheckPlanText(*text)) {
      case PlanTextFault::kNone:
        break;
      case PlanTextFault::kNotUtf8:
        return std::string(field) + " is not UTF-8 text";
      case PlanTextFault::kControl: {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04lX", static_cast<unsigned long>(FirstControl(*text)));
        return std::string(field) + " holds the control character " + code;
      }
      case PlanTextFault::kTooLong:
        return std::string(field) + " is longer than " + std::to_string(kMaxPlanTextLength) +
               " characters";
    }
  }
  return std::nullopt;
}

}  // namespace ostrand::plans

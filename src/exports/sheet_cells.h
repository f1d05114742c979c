// The text forms that the spreadsheet exports write and the CSV reader reads
// back: the headings of the day columns, the line of one plan in a day cell,
// and the headings and values of the plan list.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"

namespace ostrand::exports {

// The heading of the name column.
inline constexpr std::string_view kNameHeading = "姓名";

// "2001-12-01 星期六": the ISO date, then the weekday. The date keeps a
// spreadsheet program from turning the heading into a number.
std::string DayHeading(const DateTime& day);
// The day of such a heading (only the date before the first blank counts),
// or nothing.
std::optional<DateTime> ReadDayHeading(std::string_view heading);

// One plan in a day cell: the kind of place, "（个人）" for a plan that is not
// shared, "：", then the text the page shows (line breaks in it become
// blanks, so that every plan keeps to one line): "北京：座谈会",
// "本单位（个人）：体检".
std::string PlanLine(std::string_view kind, std::string_view text, bool shared);

struct PlanLineParts {
  std::string kind;
  std::string text;
  bool shared = true;
};
// The parts of such a line (split at its first "："), or nothing when it has
// no "：".
std::optional<PlanLineParts> ReadPlanLine(std::string_view line);

// The columns of the plan list, in the order the list is written; the
// reader finds them by heading in any order.
inline constexpr std::array<std::string_view, 8> kPlanListHeadings = {
    "开始", "结束", "地点类别", "地点", "详细地点", "内容", "附加", "类型"};
// The values of the 类型 column.
inline constexpr std::string_view kSharedWord = "共享";
inline constexpr std::string_view kPrivateWord = "个人";

}  // namespace ostrand::exports

// The weekday captions of the views and the day editor: the literal
// "日,一,二,三,四,五,六" split at ",", Sunday first. Headings write "星期"
// before the caption (星期一 is Monday).
#pragma once

#include <array>
#include <string_view>

namespace ostrand::calendar {

inline constexpr std::array<std::string_view, 7> kWeekdayCaptions = {"日", "一", "二", "三",
                                                                     "四", "五", "六"};

// The caption of a weekday number, Sunday = 1 .. Saturday = 7 (see
// DateTime::weekday). The number must lie in 1..7.
constexpr std::string_view WeekdayCaption(int weekday) { return kWeekdayCaptions[weekday - 1]; }

}  // namespace ostrand::calendar

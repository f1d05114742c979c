// The weekday captions of the views and the day editor: the literal
// "日,一,二,三,四,五,六" split at ",", Sunday first, and the full names
// that write "星期" before the caption (星期一 is Monday). The views, the
// spreadsheet days and the host's Chinese text all take them from here.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace ostrand::calendar {

inline constexpr std::array<std::string_view, 7> kWeekdayCaptions = {"日", "一", "二", "三",
                                                                     "四", "五", "六"};

// The word a weekday's full name writes before its caption.
inline constexpr std::string_view kWeekdayWord = "星期";

// The caption of a weekday number, Sunday = 1 .. Saturday = 7 (see
// DateTime::weekday). The number must lie in 1..7.
constexpr std::string_view WeekdayCaption(int weekday) { return kWeekdayCaptions[weekday - 1]; }

namespace weekday_text {

// The seven captions as one text, `before` ahead of each and `between`
// between two of them.
constexpr std::size_t JoinedSize(std::string_view before, std::string_view between) {
  std::size_t size = (kWeekdayCaptions.size() - 1) * between.size();
  for (const std::string_view caption : kWeekdayCaptions) size += before.size() + caption.size();
  return size;
}

template <std::size_t N>
constexpr std::array<char, N> Joined(std::string_view before, std::string_view between) {
  std::array<char, N> text{};
  std::size_t at = 0;
  const auto append = [&](std::string_view part) {
    for (const char c : part) text[at++] = c;
  };
  for (std::size_t i = 0; i < kWeekdayCaptions.size(); ++i) {
    if (i > 0) append(between);
    append(before);
    append(kWeekdayCaptions[i]);
  }
  return text;
}

inline constexpr auto kNames = Joined<JoinedSize(kWeekdayWord, "")>(kWeekdayWord, "");
inline constexpr auto kCaptionLine = Joined<JoinedSize("", " ")>("", " ");

}  // namespace weekday_text

// The weekdays' full names, the word and the caption, Sunday first:
// "星期日", "星期一" .. "星期六".
inline constexpr std::array<std::string_view, 7> kWeekdayNames = [] {
  std::array<std::string_view, 7> names{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::size_t size = kWeekdayWord.size() + kWeekdayCaptions[i].size();
    names[i] = std::string_view(weekday_text::kNames.data() + at, size);
    at += size;
  }
  return names;
}();

// The full name of a weekday number, Sunday = 1 .. Saturday = 7 (see
// DateTime::weekday). The number must lie in 1..7.
constexpr std::string_view WeekdayName(int weekday) { return kWeekdayNames[weekday - 1]; }

// The captions separated by blanks, Sunday first: "日 一 二 三 四 五 六".
inline constexpr std::string_view kWeekdayCaptionLine(weekday_text::kCaptionLine.data(),
                                                      weekday_text::kCaptionLine.size());

}  // namespace ostrand::calendar

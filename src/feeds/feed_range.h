// FeedRange: the days a calendar feed covers. By default from three months
// before today to twelve months after it; a subscriber may ask for other
// bounds (the feed URL's "from" and "to"), within 36 months.
#pragma once

#include <optional>
#include <string_view>

#include "core/date.h"

namespace ostrand::feeds {

inline constexpr int kMonthsBack = 3;
inline constexpr int kMonthsAhead = 12;
inline constexpr int kMaxMonths = 36;

// Calendar dates (midnight), both included; first <= last.
struct FeedRange {
  DateTime first;
  DateTime last;

  // Whether a plan from start to end touches the range in whole days, the
  // pages' rule: it starts on or before the last day and ends on or after
  // the first one.
  bool Covers(const DateTime& start, const DateTime& end) const {
    return start.day() <= last.day() && end.day() >= first.day();
  }

  friend bool operator==(const FeedRange&, const FeedRange&) = default;
};

// From kMonthsBack months before the date of `today` to kMonthsAhead months
// after it, cut at the ends of the calendar (years 100 and 9999). Never
// throws.
FeedRange DefaultRange(const DateTime& today);

// The range a subscriber asks for: `from` and `to` are dates as a URL gives
// them ("2001-12-05"; the forms of DateTime::Parse, a time of day is
// dropped); a missing bound is the default one. Throws Error naming the text
// when a bound is no date, when from lies after to, and when the range spans
// more than kMaxMonths months.
FeedRange RequestedRange(std::optional<std::string_view> from, std::optional<std::string_view> to,
                         const DateTime& today);

}  // namespace ostrand::feeds

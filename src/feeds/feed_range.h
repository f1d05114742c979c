// FeedRange: the days a calendar feed covers. By default from three months
// before today to twelve months after it; a subscriber may ask for other
// bounds (the feed URL's "from" and "to"), within 36 months.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/date.h"
#include "core/error.h"

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

// Why RequestedRange refused the bounds, with what its message names, so
// that a caller can say it in another language than what() (English, with
// the dates as "2001-12-05"). `bound` is "from" or "to" and `text` the start
// of what it held (kUnreadable); `first` and `last` are the range read
// (kReversed, kTooLong).
class RangeError : public Error {
 public:
  enum class Kind { kUnreadable, kReversed, kTooLong };

  RangeError(Kind kind, std::string message, std::string bound, std::string text, DateTime first,
             DateTime last)
      : Error(message),
        message_(std::move(message)),
        kind_(kind),
        bound_(std::move(bound)),
        text_(std::move(text)),
        first_(first),
        last_(last) {}

  // what() in whole, also past a NUL of the text.
  const std::string& message() const { return message_; }
  Kind kind() const { return kind_; }
  const std::string& bound() const { return bound_; }
  const std::string& text() const { return text_; }
  const DateTime& first() const { return first_; }
  const DateTime& last() const { return last_; }

 private:
  std::string message_;
  Kind kind_;
  std::string bound_;
  std::string text_;
  DateTime first_;
  DateTime last_;
};

// From kMonthsBack months before the date of `today` to kMonthsAhead months
// after it, cut at the ends of the calendar (years 100 and 9999). Never
// throws.
FeedRange DefaultRange(const DateTime& today);

// The range a subscriber asks for: `from` and `to` are dates as a URL gives
// them ("2001-12-05"; the forms of DateTime::Parse, a time of day is
// dropped); a missing bound is the default one. Throws RangeError naming the
// text when a bound is no date, when from lies after to, and when the range
// spans more than kMaxMonths months.
FeedRange RequestedRange(std::optional<std::string_view> from, std::optional<std::string_view> to,
                         const DateTime& today);

}  // namespace ostrand::feeds

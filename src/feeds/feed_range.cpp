#include "feeds/feed_range.h"

#include <string>

#include "store/sql_param.h"

namespace ostrand::feeds {
namespace {

// date moved by `months` calendar months, or the first or last day of the
// calendar when that would leave it.
DateTime AddMonthsWithin(const DateTime& date, int months) {
  const int index = date.year() * 12 + (date.month() - 1) + months;
  if (index < 100 * 12) return DateTime::FromCivil(100, 1, 1);
  if (index > 9999 * 12 + 11) return DateTime::FromCivil(9999, 12, 31);
  return date.AddMonths(months);
}

DateTime ReadBound(std::string_view text, std::string_view which) {
  const std::optional<DateTime> date = DateTime::Parse(text);
  if (!date) {
    const std::string shown(text.substr(0, 64));
    throw RangeError(RangeError::Kind::kUnreadable,
                     "cannot read the " + std::string(which) + " date '" + shown +
                         "' (write it as 2001-12-05)",
                     std::string(which), shown, {}, {});
  }
  return date->DateOnly();
}

}  // namespace

FeedRange DefaultRange(const DateTime& today) {
  const DateTime day = today.DateOnly();
  return {AddMonthsWithin(day, -kMonthsBack), AddMonthsWithin(day, kMonthsAhead)};
}

FeedRange RequestedRange(std::optional<std::string_view> from, std::optional<std::string_view> to,
                         const DateTime& today) {
  FeedRange range = DefaultRange(today);
  if (from) range.first = ReadBound(*from, "from");
  if (to) range.last = ReadBound(*to, "to");
  const std::string first = store::StorageDateText(range.first);
  const std::string last = store::StorageDateText(range.last);
  if (range.last < range.first) {
    throw RangeError(RangeError::Kind::kReversed,
                     "the range starts (" + first + ") after it ends (" + last + ")", {}, {},
                     range.first, range.last);
  }
  if (range.last > AddMonthsWithin(range.first, kMaxMonths)) {
    throw RangeError(RangeError::Kind::kTooLong,
                     "the range " + first + " to " + last + " is longer than " +
                         std::to_string(kMaxMonths) + " months",
                     {}, {}, range.first, range.last);
  }
  return range;
}

}  // namespace ostrand::feeds

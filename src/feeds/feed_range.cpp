#include "feeds/feed_range.h"

#include <string>

#include "core/error.h"

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
    throw Error("cannot read the " + std::string(which) + " date '" +
                std::string(text.substr(0, 64)) + "' (write it as 2001-12-05)");
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
  if (range.last < range.first) {
    throw Error("the range starts (" + range.first.ToText() + ") after it ends (" +
                range.last.ToText() + ")");
  }
  if (range.last > AddMonthsWithin(range.first, kMaxMonths)) {
    throw Error("the range " + range.first.ToText() + " to " + range.last.ToText() +
                " is longer than " + std::to_string(kMaxMonths) + " months");
  }
  return range;
}

}  // namespace ostrand::feeds

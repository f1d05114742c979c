// Per-day tables: the month and week renderers spread the plans of a period
// over two tables indexed by day of month (1..31; entry 0 stays empty): the
// text gathered for the day, each plan's piece followed by "||", and the kind
// of place (Type1ID) of the last plan covering the day.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/value.h"
#include "store/record_set.h"

namespace ostrand::plans {

inline constexpr std::string_view kDaySeparator = "||";

// Calls mark(n) with the day of month n of every calendar day from start to
// end (dates only, both included) that lies within first..last (dates only).
// Only the part of the plan inside the period is walked, so a plan of a
// hundred years costs no more than one of a week. Nothing happens when end
// lies before start. The period must not span more than 31 days, so that no
// two of its days share a day of month.
template <typename Mark>
void ForEachCoveredDay(const DateTime& start, const DateTime& end, const DateTime& first,
                       const DateTime& last, Mark&& mark) {
  const std::int64_t from = start.day() > first.day() ? start.day() : first.day();
  const std::int64_t to = end.day() < last.day() ? end.day() : last.day();
  for (std::int64_t serial = from; serial <= to; ++serial) {
    mark(DateTime::FromSerial(serial).day_of_month());
  }
}

// What the month views show of a plan-select row: its content, blanks
// trimmed (not escaped).
std::string MonthPlanText(const store::RecordSet& rs);

struct DayTables {
  std::array<std::string, 32> text;
  std::array<Value, 32> kind;  // empty until a plan marks the day

  // Marks every day that ForEachCoveredDay walks: appends piece and "||" to
  // the day's text and sets its kind.
  void Mark(const DateTime& start, const DateTime& end, const DateTime& first,
            const DateTime& last, const Value& kind_of_place, std::string_view piece);

  // Marks every remaining row of a plan-select result (planStartTime,
  // planEndTime, Type1ID, planContent) within first..last, each with its
  // MonthPlanText, HTML-escaped, as the piece. Leaves the
  // record set at its end. Throws Error when a row's times are no dates.
  void MarkContents(store::RecordSet& rs, const DateTime& first, const DateTime& last);
};

// Appends text to out with every "||" replaced by `with` (from the start,
// exact). The renderers write each day straight into their result this way.
void AppendReplacingSeparators(std::string& out, std::string_view text, std::string_view with);

// Copy of text with every "||" replaced by `with` (from the start, exact).
std::string ReplaceSeparators(std::string_view text, std::string_view with);

}  // namespace ostrand::plans

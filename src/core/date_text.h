// Every written form of a date, in one place, each zero-padded to its width
// (a year below 1000 as "0999") and written by hand, not by printf: the
// storage forms the database keeps and binds, ISO 8601 with and without an
// offset, the HTTP date, and the short forms of the host's pages, lists and
// file names. None throws but for want of memory; the date's own range
// (years 100..9999, core/date.h) keeps every width. The host's own text of
// a value ("2001-12-5 9:30:00") is DateTime::ToText.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/date.h"

namespace ostrand {

// "YYYY-MM-DD": the stored form of a date, and the ISO 8601 date.
std::string DateText(const DateTime& date);
// "YYYY-MM-DD HH:MM:SS": the stored form of a date and time.
std::string DateTimeText(const DateTime& date);
// "YYYY-MM-DD HH:MM": the host's short form (lists, notes, imports).
std::string MinuteText(const DateTime& date);
// "YYYY-MM": a month, in titles and file names.
std::string MonthText(const DateTime& date);
// "HH:MM": the time of day.
std::string ClockText(const DateTime& date);
// "YYYY-MM-DDTHH:MM": the value of a datetime-local form field.
std::string FormDateTimeText(const DateTime& date);
// "YYYY-MM-DDTHH:MM:SS": ISO 8601 without an offset (a wall time).
std::string IsoDateTimeText(const DateTime& date);
// "YYYY-MM-DDTHH:MM:SSZ" of a time in UTC.
std::string IsoUtcText(const DateTime& utc);
// "YYYY-MM-DDTHH:MM:SS+HH:MM" of a wall time `offset_seconds` ahead of UTC
// (behind it when negative: "-03:30"); seconds of the offset are dropped.
std::string IsoOffsetText(const DateTime& wall, int offset_seconds);

// The names an HTTP date writes, Sunday and January first.
inline constexpr std::array<std::string_view, 7> kHttpWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                                  "Thu", "Fri", "Sat"};
inline constexpr std::array<std::string_view, 12> kHttpMonths = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 9110's IMF-fixdate) of a time in
// UTC.
std::string HttpDateText(const DateTime& utc);

}  // namespace ostrand

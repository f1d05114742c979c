// Calendar dates with a time of day, kept as exact integers: a day serial
// (days since 30 December 1899, the zero date) and seconds since midnight.
// Only dates from 1 January 100 to 31 December 9999 exist; every operation
// that would leave that range throws Error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrand {

struct CivilDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

class DateTime {
 public:
  // The zero date, 30 December 1899 at midnight.
  constexpr DateTime() = default;

  // Throws Error when the date does not exist or lies outside the range, or
  // when the time of day is not within 0:00:00 .. 23:59:59.
  static DateTime FromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0);
  // Day serial and seconds since midnight (0..86399). Throws Error out of range.
  static DateTime FromSerial(std::int64_t day, std::int32_t seconds = 0);
  // A host day serial as a number: the whole part counts days from the zero
  // date, the fraction is the time of day (for negative serials the fraction
  // still counts forward from midnight). Rounded to the nearest second.
  // Throws Error naming the number when it is not finite or lies outside
  // the range.
  static DateTime FromNumber(double serial);
  // The time `seconds` after 1 January 1970 0:00 (a Unix time, taken as
  // UTC), or before it when negative. Throws Error out of range.
  static DateTime FromUnixSeconds(std::int64_t seconds);
  // As FromNumber, but nothing where FromNumber throws.
  static std::optional<DateTime> TryFromNumber(double serial) noexcept;
  // Reads "Y-M-D" or "Y/M/D" (4-digit year, 1- or 2-digit month and day),
  // optionally followed by a space or 'T' and "H:MM" or "H:MM:SS", after
  // trimming ASCII spaces. Returns nothing when the text is not such a date
  // or names a day outside the range; never throws.
  static std::optional<DateTime> Parse(std::string_view text) noexcept;

  // Midnight of 1 January 100 and of 31 December 9999, the first and the
  // last day that exist.
  static DateTime Earliest();
  static DateTime Latest();

  std::int64_t day() const { return day_; }
  std::int32_t seconds() const { return seconds_; }
  CivilDate civil() const;
  int year() const { return civil().year; }
  int month() const { return civil().month; }
  int day_of_month() const { return civil().day; }
  int hour() const { return seconds_ / 3600; }
  int minute() const { return seconds_ / 60 % 60; }
  int second() const { return seconds_ % 60; }
  // Sunday = 1 .. Saturday = 7, whatever the locale.
  int weekday() const;

  // The host's number for this date (see FromNumber).
  double ToNumber() const;
  // "yyyy-M-d", then " H:mm:ss" when the time of day is not midnight.
  std::string ToText() const;

  // The same time of day on the calendar date `days` later (or earlier).
  DateTime AddDays(std::int64_t days) const;
  // The same day of month `months` later, clamped to the last day of a
  // shorter month, with the same time of day.
  DateTime AddMonths(int months) const;
  // Midnight of the same calendar date.
  DateTime DateOnly() const { return FromSerial(day_, 0); }

  friend bool operator==(const DateTime&, const DateTime&) = default;
  friend auto operator<=>(const DateTime&, const DateTime&) = default;

 private:
  constexpr DateTime(std::int64_t day, std::int32_t seconds) : day_(day), seconds_(seconds) {}

  std::int64_t day_ = 0;
  std::int32_t seconds_ = 0;
};

// The calendar days first..last, both included.
struct DayRange {
  DateTime first;
  DateTime last;

  // Whether the calendar date of `day` lies within the range.
  bool Contains(const DateTime& day) const {
    return first.day() <= day.day() && day.day() <= last.day();
  }
};

// Number of days in the given month of the proleptic Gregorian calendar.
int DaysInMonth(int year, int month);

}  // namespace ostrand

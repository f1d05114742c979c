#include "core/date.h"

#include <cmath>
#include <algorithm>
#include <cstdio>

#include "core/error.h"
#include "core/text.h"

namespace ostrand {
namespace {

constexpr std::int32_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Serial of the zero date 1899-12-30 in days since 1970-01-01.
constexpr std::int64_t kEpochShift = DaysFromCivil(1899, 12, 30);
constexpr std::int64_t kMinSerial = DaysFromCivil(100, 1, 1) - kEpochShift;
constexpr std::int64_t kMaxSerial = DaysFromCivil(9999, 12, 31) - kEpochShift;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

std::string DescribeCivil(int y, int m, int d) {
  return std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..max_len digits at text[*pos]; advances *pos.
bool ReadDigits(std::string_view text, std::size_t* pos, std::size_t min_len,
                std::size_t max_len, int* out) {
  std::size_t n = 0;
  int v = 0;
  while (*pos + n < text.size() && IsDigit(text[*pos + n]) && n < max_len) {
    v = v * 10 + (text[*pos + n] - '0');
    ++n;
  }
  if (n < min_len || (*pos + n < text.size() && IsDigit(text[*pos + n]))) return false;
  *pos += n;
  *out = v;
  return true;
}

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeap(year)) return 29;
  return kDays[month - 1];
}

DateTime DateTime::FromCivil(int year, int month, int day, int hour, int minute, int second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    throw Error("date " + DescribeCivil(year, month, day) + " does not exist or lies outside " +
                "100-1-1 .. 9999-12-31");
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    throw Error("invalid time of day " + std::to_string(hour) + ":" + std::to_string(minute) +
                ":" + std::to_string(second));
  }
  return DateTime(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                      kEpochShift,
                  hour * 3600 + minute * 60 + second);
}

DateTime DateTime::FromSerial(std::int64_t day, std::int32_t seconds) {
  if (day < kMinSerial || day > kMaxSerial) {
    throw Error("date serial " + std::to_string(day) + " lies outside 100-1-1 .. 9999-12-31");
  }
  if (seconds < 0 || seconds >= kSecondsPerDay) {
    throw Error("invalid time of day: " + std::to_string(seconds) + " seconds");
  }
  return DateTime(day, seconds);
}

DateTime DateTime::FromUnixSeconds(std::int64_t seconds) {
  constexpr std::int64_t kUnixEpochSerial = 25569;  // 1 January 1970
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    days -= 1;
  }
  return FromSerial(kUnixEpochSerial + days, static_cast<std::int32_t>(rest));
}

DateTime DateTime::FromNumber(double serial) {
  if (const std::optional<DateTime> date = TryFromNumber(serial)) return *date;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", serial);
  throw Error(std::string("day serial ") + buf + " lies outside 100-1-1 .. 9999-12-31");
}

std::optional<DateTime> DateTime::TryFromNumber(double serial) noexcept {
  if (!std::isfinite(serial) || serial < static_cast<double>(kMinSerial) - 1 ||
      serial > static_cast<double>(kMaxSerial) + 1) {
    return std::nullopt;
  }
  // The whole part counts days; the fraction's magnitude is the time of day,
  // also for negative serials (-1.25 is 29 December 1899, 6:00).
  double whole = std::trunc(serial);
  std::int64_t total = std::llround(std::fabs(serial - whole) * kSecondsPerDay);
  std::int64_t day = static_cast<std::int64_t>(whole);
  if (total >= kSecondsPerDay) {
    // Rounding carried the time past midnight: the moment lies at the start
    // of the following calendar day, also for negative serials, whose time
    // of day counts forward from their day's midnight as well.
    total -= kSecondsPerDay;
    day += 1;
  }
  if (day < kMinSerial || day > kMaxSerial) return std::nullopt;
  return DateTime(day, static_cast<std::int32_t>(total));
}

std::optional<DateTime> DateTime::Parse(std::string_view text) noexcept {
  text = TrimBlanks(text);
  std::size_t pos = 0;
  int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
  if (!ReadDigits(text, &pos, 4, 4, &y)) return std::nullopt;
  if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/')) return std::nullopt;
  const char sep = text[pos++];
  if (!ReadDigits(text, &pos, 1, 2, &m)) return std::nullopt;
  if (pos >= text.size() || text[pos] != sep) return std::nullopt;
  ++pos;
  if (!ReadDigits(text, &pos, 1, 2, &d)) return std::nullopt;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
    ++pos;
    if (!ReadDigits(text, &pos, 1, 2, &hh)) return std::nullopt;
    if (pos >= text.size() || text[pos] != ':') return std::nullopt;
    ++pos;
    if (!ReadDigits(text, &pos, 2, 2, &mm)) return std::nullopt;
    if (pos < text.size()) {
      if (text[pos] != ':') return std::nullopt;
      ++pos;
      if (!ReadDigits(text, &pos, 2, 2, &ss)) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
  }
  if (y < 100 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m) || hh > 23 || mm > 59 ||
      ss > 59) {
    return std::nullopt;
  }
  return DateTime(DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) -
                      kEpochShift,
                  hh * 3600 + mm * 60 + ss);
}

DateTime DateTime::Earliest() { return DateTime(kMinSerial, 0); }
DateTime DateTime::Latest() { return DateTime(kMaxSerial, 0); }

CivilDate DateTime::civil() const { return CivilFromDays(day_ + kEpochShift); }

int DateTime::weekday() const {
  // The zero date was a Saturday (7).
  return static_cast<int>(((day_ + 6) % 7 + 7) % 7) + 1;
}

double DateTime::ToNumber() const {
  const double fraction = static_cast<double>(seconds_) / kSecondsPerDay;
  return day_ < 0 ? static_cast<double>(day_) - fraction : static_cast<double>(day_) + fraction;
}

namespace {

// Appends 0..99 without leading zero, or with one when `two` is set.
char* PutSmall(char* at, int n, bool two) {
  if (n >= 10 || two) *at++ = static_cast<char>('0' + n / 10);
  *at++ = static_cast<char>('0' + n % 10);
  return at;
}

}  // namespace

// Renderers call this for every day cell: formatted by hand, not by printf.
std::string DateTime::ToText() const {
  const CivilDate c = civil();
  char buf[24];
  char* at = buf;
  // The year lies within 100..9999.
  *at++ = static_cast<char>('0' + c.year / 1000);
  *at++ = static_cast<char>('0' + c.year / 100 % 10);
  at = PutSmall(at, c.year % 100, true);
  *at++ = '-';
  at = PutSmall(at, c.month, false);
  *at++ = '-';
  at = PutSmall(at, c.day, false);
  if (seconds_ != 0) {
    *at++ = ' ';
    at = PutSmall(at, hour(), false);
    *at++ = ':';
    at = PutSmall(at, minute(), true);
    *at++ = ':';
    at = PutSmall(at, second(), true);
  }
  return std::string(buf, at);
}

DateTime DateTime::AddDays(std::int64_t days) const {
  if (days > kMaxSerial - kMinSerial || days < kMinSerial - kMaxSerial) {
    throw Error("a step of " + std::to_string(days) + " days leaves 100-1-1 .. 9999-12-31");
  }
  return FromSerial(day_ + days, seconds_);
}

DateTime DateTime::AddMonths(int months) const {
  const CivilDate c = civil();
  const std::int64_t index = static_cast<std::int64_t>(c.year) * 12 + (c.month - 1) + months;
  const std::int64_t y = index >= 0 ? index / 12 : (index - 11) / 12;
  const int m = static_cast<int>(index - y * 12) + 1;
  if (y < 100 || y > 9999) {
    throw Error("a step of " + std::to_string(months) + " months from " + ToText() +
                " leaves 100-1-1 .. 9999-12-31");
  }
  const int year = static_cast<int>(y);
  const int day = std::min(c.day, DaysInMonth(year, m));
  return FromSerial(FromCivil(year, m, day).day(), seconds_);
}

}  // namespace ostrand

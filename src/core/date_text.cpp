#include "core/date_text.h"

#include <cstddef>
#include <cstdlib>

namespace ostrand {
namespace {

// Builds one text of known greatest length without allocating per piece.
class Writer {
 public:
  // `value` (not negative) in exactly `width` digits.
  Writer& Digits(int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
      text_[at_ + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    at_ += static_cast<std::size_t>(width);
    return *this;
  }
  Writer& Char(char c) {
    text_[at_++] = c;
    return *this;
  }
  Writer& Text(std::string_view text) {
    for (const char c : text) text_[at_++] = c;
    return *this;
  }
  Writer& Date(const CivilDate& civil) {
    return Digits(civil.year, 4).Char('-').Digits(civil.month, 2).Char('-').Digits(civil.day, 2);
  }
  Writer& Clock(const DateTime& t) { return Digits(t.hour(), 2).Char(':').Digits(t.minute(), 2); }
  Writer& ClockSeconds(const DateTime& t) { return Clock(t).Char(':').Digits(t.second(), 2); }
  std::string str() const { return std::string(text_.data(), at_); }

 private:
  std::array<char, 32> text_{};
  std::size_t at_ = 0;
};

}  // namespace

std::string DateText(const DateTime& date) { return Writer().Date(date.civil()).str(); }

std::string DateTimeText(const DateTime& date) {
  return Writer().Date(date.civil()).Char(' ').ClockSeconds(date).str();
}

std::string MinuteText(const DateTime& date) {
  return Writer().Date(date.civil()).Char(' ').Clock(date).str();
}

std::string MonthText(const DateTime& date) {
  const CivilDate civil = date.civil();
  return Writer().Digits(civil.year, 4).Char('-').Digits(civil.month, 2).str();
}

std::string ClockText(const DateTime& date) { return Writer().Clock(date).str(); }

std::string FormDateTimeText(const DateTime& date) {
  return Writer().Date(date.civil()).Char('T').Clock(date).str();
}

std::string IsoDateTimeText(const DateTime& date) {
  return Writer().Date(date.civil()).Char('T').ClockSeconds(date).str();
}

std::string IsoUtcText(const DateTime& utc) {
  return Writer().Date(utc.civil()).Char('T').ClockSeconds(utc).Char('Z').str();
}

std::string IsoOffsetText(const DateTime& wall, int offset_seconds) {
  const int minutes = std::abs(offset_seconds) / 60;
  return Writer()
      .Date(wall.civil())
      .Char('T')
      .ClockSeconds(wall)
      .Char(offset_seconds < 0 ? '-' : '+')
      .Digits(minutes / 60, 2)
      .Char(':')
      .Digits(minutes % 60, 2)
      .str();
}

std::string HttpDateText(const DateTime& utc) {
  const CivilDate civil = utc.civil();
  return Writer()
      .Text(kHttpWeekdays[static_cast<std::size_t>(utc.weekday() - 1)])
      .Text(", ")
      .Digits(civil.day, 2)
      .Char(' ')
      .Text(kHttpMonths[static_cast<std::size_t>(civil.month - 1)])
      .Char(' ')
      .Digits(civil.year, 4)
      .Char(' ')
      .ClockSeconds(utc)
      .Text(" GMT")
      .str();
}

}  // namespace ostrand

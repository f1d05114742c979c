// Holiday: one day of the holiday calendar, as the holiday table holds
// it (db/): a public holiday that is a day off, or a working day that makes
// up for one (usually a Saturday or Sunday). Days not in the calendar are
// ordinary: Monday to Friday are worked, Saturday and Sunday are not.
#pragma once

#include <cstddef>
#include <string>

#include "core/date.h"

namespace ostrand::holidays {

// The longest holiday name, in characters.
inline constexpr std::size_t kMaxHolidayNameLength = 100;

struct Holiday {
  DateTime date;      // midnight of the day
  std::string name;   // "国庆节"; one line of valid UTF-8, at most kMaxHolidayNameLength
  bool day_off = true;  // false: a working day
  bool demo = false;    // written by `ostrand demo-db`, not taken from a real calendar

  friend bool operator==(const Holiday&, const Holiday&) = default;
};

}  // namespace ostrand::holidays

#include "feeds/ical_support.h"

#include <cstdlib>

#include "core/error.h"

namespace ostrand::feeds::ical {

void Setup() {
  static std::once_flag once;
  std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
}

std::unique_lock<std::mutex> LockZones() {
  static std::mutex mutex;
  Setup();
  return std::unique_lock<std::mutex>(mutex);
}

icaltimetype ToIcal(const DateTime& t) {
  icaltimetype out = icaltime_null_time();
  out.year = t.year();
  out.month = t.month();
  out.day = t.day_of_month();
  out.hour = t.hour();
  out.minute = t.minute();
  out.second = t.second();
  out.is_date = 0;
  return out;
}

icaltimetype ToIcalUtc(const DateTime& t) {
  icaltimetype out = ToIcal(t);
  out.zone = icaltimezone_get_utc_timezone();
  return out;
}

std::string ToText(icalcomponent* c) {
  char* text = icalcomponent_as_ical_string_r(c);
  if (text == nullptr) throw Error("cannot write the calendar");
  std::string out(text);
  std::free(text);
  return out;
}

}  // namespace ostrand::feeds::ical

#include "navigation/link_stamp.h"

#include <cstring>

namespace ostrand::navigation {

std::string TimeStampText(const host::Clock& clock) {
  // A page asks for the stamp once per link, and the clock's single-precision
  // reading moves in steps of several milliseconds: the text of the last
  // reading on this thread is kept and reused while the reading is the same.
  thread_local float last_reading = -1;
  thread_local std::string last_text;
  const float reading = clock.SecondsSinceMidnight();
  if (std::memcmp(&reading, &last_reading, sizeof reading) != 0 || last_text.empty()) {
    last_text = Value::Single(reading).ToText();
    last_reading = reading;
  }
  return last_text;
}

}  // namespace ostrand::navigation

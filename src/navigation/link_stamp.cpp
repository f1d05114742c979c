#include "navigation/link_stamp.h"

namespace ostrand::navigation {

std::string TimeStampText(const host::Clock& clock) {
  return Value::Single(clock.SecondsSinceMidnight()).ToText();
}

}  // namespace ostrand::navigation

// Value and date text: numbers (ParseNumber, Value::ToNumber) and dates
// (DateTime::Parse, Value::ToDate) read from any text. Both readers must
// agree with their yes/no questions, and what they read must come back from
// its own text.
#include <cmath>

#include "core/date.h"
#include "core/error.h"
#include "core/value.h"
#include "fuzz_check.h"

using ostrand::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = ostrand::fuzz::AsText(data, size);
  const ostrand::Value value = ostrand::Value::Text(std::string(text));

  double number = 0;
  const bool is_number = ostrand::ParseNumber(text, &number);
  Check(is_number == value.ReadsAsNumber(), "ReadsAsNumber agrees with ParseNumber");
  if (is_number) {
    Check(std::isfinite(number), "a number read is finite");
    Check(value.ToNumber() == number, "ToNumber gives what ParseNumber read");
    double again = 0;
    const std::string shown = ostrand::FormatNumber(number, 15);
    Check(ostrand::ParseNumber(shown, &again), "a number's text reads as a number");
    Check(std::fabs(again - number) <= std::fabs(number) * 1e-14, "a number's text keeps it");
  } else {
    bool threw = false;
    try {
      (void)value.ToNumber();
    } catch (const ostrand::Error&) {
      threw = true;
    }
    Check(threw, "ToNumber fails where ParseNumber does");
  }

  const std::optional<ostrand::DateTime> date = ostrand::DateTime::Parse(text);
  Check(date.has_value() == value.ReadsAsDate(), "ReadsAsDate agrees with DateTime::Parse");
  if (date) {
    Check(value.ToDate() == *date, "ToDate gives what DateTime::Parse read");
    const std::optional<ostrand::DateTime> again = ostrand::DateTime::Parse(date->ToText());
    Check(again && *again == *date, "a date's text reads as the same date");
    Check(*date >= ostrand::DateTime::Earliest() &&
              date->DateOnly() <= ostrand::DateTime::Latest(),
          "a date read lies within the calendar");
  } else {
    bool threw = false;
    try {
      (void)value.ToDate();
    } catch (const ostrand::Error&) {
      threw = true;
    }
    Check(threw, "ToDate fails where DateTime::Parse does");
  }
  return 0;
}

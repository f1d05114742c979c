#include "web/http/request_values.h"

#include <cstdint>

#include "core/date_text.h"
#include "core/error.h"
#include "web/http/request_error.h"

namespace ostrand::web {

std::int64_t ReadPersonIdValue(std::string_view name, std::string_view text) {
  const std::optional<std::int64_t> id = ReadWholeNumber(text, INT32_MAX);
  if (!id) {
    throw http::RequestError(http::RequestError::Rule::kNotANumber,
                             {std::string(name), std::string(text)},
                             std::string(name) + " '" + std::string(text) + "' is not a valid person id.");
  }
  return *id;
}

DateTime ReadDayValue(std::string_view name, std::string_view text) {
  const std::optional<DateTime> date = DateTime::Parse(text);
  if (!date) {
    throw http::RequestError(http::RequestError::Rule::kNotADate,
                             {std::string(name), std::string(text)},
                             std::string(name) + " '" + std::string(text) + "' is not a date.");
  }
  return date->DateOnly();
}

Value IdValue(std::int64_t id) {
  if (id >= INT32_MIN && id <= INT32_MAX) return Value::Int32(static_cast<std::int32_t>(id));
  if (id < -kLargestExactId || id > kLargestExactId) {
    throw Error("id " + std::to_string(id) + " is too large");
  }
  return Value::Double(static_cast<double>(id));
}

// The forms the database stores, written in one place (core/date_text.h).
std::string IsoDate(const DateTime& date) { return DateText(date); }

std::string StorageDateTime(const DateTime& date) { return DateTimeText(date); }

std::string FormDateTime(const DateTime& date) { return FormDateTimeText(date); }

}  // namespace ostrand::web

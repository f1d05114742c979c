#include "web/http/request_values.h"

#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "store/sql_param.h"
#include "web/http/request_error.h"

namespace ostrand::web {

std::optional<std::int64_t> ReadWholeNumber(std::string_view text, std::int64_t max) {
  if (text.empty() || max < 0) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (digit > max || value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

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

// The forms the database stores, written in one place (store/sql_param.h).
std::string IsoDate(const DateTime& date) { return store::StorageDateText(date); }

std::string StorageDateTime(const DateTime& date) { return store::StorageDateTimeText(date); }

std::string FormDateTime(const DateTime& date) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "T%02d:%02d", date.hour(), date.minute());
  return IsoDate(date) + buffer;
}

}  // namespace ostrand::web

#include "web/http/request_values.h"

#include <cstdint>
#include <cstdio>

#include "core/error.h"
#include "web/http/http_error.h"

namespace ostrand::web {

std::int64_t ReadPersonIdValue(std::string_view name, std::string_view text) {
  std::int64_t id = 0;
  bool ok = !text.empty() && text.size() <= 10;
  for (const char c : text) {
    if (!ok || c < '0' || c > '9') {
      ok = false;
      break;
    }
    id = id * 10 + (c - '0');
  }
  if (!ok || id > INT32_MAX) {
    throw HttpError(400, std::string(name) + " '" + std::string(text) + "' is not a number");
  }
  return id;
}

DateTime ReadDayValue(std::string_view name, std::string_view text) {
  const std::optional<DateTime> date = DateTime::Parse(text);
  if (!date) {
    throw HttpError(400,
                    "cannot read " + std::string(name) + " '" + std::string(text) + "' as a date");
  }
  return date->DateOnly();
}

Value IdValue(std::int64_t id) {
  if (id >= INT32_MIN && id <= INT32_MAX) return Value::Int32(static_cast<std::int32_t>(id));
  constexpr std::int64_t kExact = std::int64_t{1} << 53;
  if (id < -kExact || id > kExact) throw Error("id " + std::to_string(id) + " is too large");
  return Value::Double(static_cast<double>(id));
}

std::string IsoDate(const DateTime& date) {
  const CivilDate civil = date.civil();
  // Sized for any int so that the compiler's truncation check holds.
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", civil.year, civil.month, civil.day);
  return buffer;
}

std::string StorageDateTime(const DateTime& date) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d", date.hour(), date.minute(),
                date.second());
  return IsoDate(date) + buffer;
}

std::string FormDateTime(const DateTime& date) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "T%02d:%02d", date.hour(), date.minute());
  return IsoDate(date) + buffer;
}

}  // namespace ostrand::web

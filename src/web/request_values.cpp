#include "web/request_values.h"

#include <cstdio>

#include "web/http_error.h"

namespace ostrand::web {

std::int64_t ReadPersonIdValue(std::string_view name, std::string_view text) {
  std::int64_t id = 0;
  bool ok = !text.empty() && text.size() <= 10;
  for (const char c : text) {
    if (c < '0' || c > '9') {
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
  std::optional<DateTime> date;
  try {
    date = DateTime::Parse(text);
  } catch (const std::exception&) {
    date.reset();
  }
  if (!date) {
    throw HttpError(400,
                    "cannot read " + std::string(name) + " '" + std::string(text) + "' as a date");
  }
  return date->DateOnly();
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

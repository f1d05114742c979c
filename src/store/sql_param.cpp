#include "store/sql_param.h"

#include <cstdio>

namespace ostrand::store {

std::string StorageDateText(const DateTime& date) {
  const CivilDate civil = date.civil();
  // Sized for any int so that the compiler's truncation check holds.
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", civil.year, civil.month, civil.day);
  return text;
}

std::string StorageDateTimeText(const DateTime& date) {
  const CivilDate civil = date.civil();
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", civil.year, civil.month,
                civil.day, date.hour(), date.minute(), date.second());
  return text;
}

std::string DateParamText(const SqlParam& param) {
  return param.kind() == SqlParam::Kind::kDate ? StorageDateText(param.date())
                                               : StorageDateTimeText(param.date());
}

}  // namespace ostrand::store

namespace ostrand::store {

std::optional<DateTime> ReadStoredDateTime(std::string_view text) {
  if (std::optional<DateTime> parsed = DateTime::Parse(text)) return parsed;
  const std::size_t colon = text.rfind(':');
  const std::size_t dot = text.rfind('.');
  if (colon == std::string_view::npos || dot == std::string_view::npos || dot < colon) {
    return std::nullopt;
  }
  std::string_view fraction = text.substr(dot + 1);
  while (!fraction.empty() && fraction.back() == ' ') fraction.remove_suffix(1);
  if (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return DateTime::Parse(text.substr(0, dot));
}

}  // namespace ostrand::store

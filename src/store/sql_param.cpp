#include "store/sql_param.h"

#include "core/date_text.h"

namespace ostrand::store {

// Every bound date goes through these, written by core/date_text.h.
std::string StorageDateText(const DateTime& date) { return DateText(date); }

std::string StorageDateTimeText(const DateTime& date) { return DateTimeText(date); }

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

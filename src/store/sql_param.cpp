#include "store/sql_param.h"

#include <cstdio>

namespace ostrand::store {

namespace {

// "YYYY-MM-DD" into `out` (10 characters); the year lies within 100..9999.
char* PutStorageDate(char* out, const CivilDate& civil) {
  const auto put2 = [&](int n) {
    *out++ = static_cast<char>('0' + n / 10);
    *out++ = static_cast<char>('0' + n % 10);
  };
  put2(civil.year / 100);
  put2(civil.year % 100);
  *out++ = '-';
  put2(civil.month);
  *out++ = '-';
  put2(civil.day);
  return out;
}

}  // namespace

// Every bound date goes through these: formatted by hand, not by printf.
std::string StorageDateText(const DateTime& date) {
  char text[10];
  return std::string(text, PutStorageDate(text, date.civil()));
}

std::string StorageDateTimeText(const DateTime& date) {
  char text[19];
  char* out = PutStorageDate(text, date.civil());
  char separator = ' ';
  for (const int n : {date.hour(), date.minute(), date.second()}) {
    *out++ = separator;
    separator = ':';
    *out++ = static_cast<char>('0' + n / 10);
    *out++ = static_cast<char>('0' + n % 10);
  }
  return std::string(text, out);
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

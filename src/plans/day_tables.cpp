#include "plans/day_tables.h"

#include <algorithm>

namespace ostrand::plans {

void DayTables::Mark(const DateTime& start, const DateTime& end, const DateTime& first,
                     const DateTime& last, const Value& kind_of_place, std::string_view piece) {
  const std::int64_t from = std::max(start.day(), first.day());
  const std::int64_t to = std::min(end.day(), last.day());
  for (std::int64_t serial = from; serial <= to; ++serial) {
    const int n = DateTime::FromSerial(serial).day_of_month();
    text[n].append(piece);
    text[n].append(kDaySeparator);
    kind[n] = kind_of_place;
  }
}

void AppendReplacingSeparators(std::string& out, std::string_view text, std::string_view with) {
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(kDaySeparator, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(with);
    pos = hit + kDaySeparator.size();
  }
  out.append(text.substr(pos));
}

std::string ReplaceSeparators(std::string_view text, std::string_view with) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  AppendReplacingSeparators(out, text, with);
  return out;
}

}  // namespace ostrand::plans

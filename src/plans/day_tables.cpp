#include "plans/day_tables.h"

#include "core/html.h"
#include "core/text.h"

namespace ostrand::plans {

void DayTables::MarkContents(store::RecordSet& rs, const DateTime& first, const DateTime& last) {
  std::string piece;
  for (; !rs.Eof(); rs.MoveNext()) {
    const DateTime start = rs.Field("planStartTime").ToDate().DateOnly();
    const DateTime end = rs.Field("planEndTime").ToDate().DateOnly();
    piece.clear();
    AppendEscapedHtml(piece, MonthPlanText(rs));
    Mark(start, end, first, last, rs.Field("Type1ID"), piece);
  }
}

std::string MonthPlanText(const store::RecordSet& rs) {
  return std::string(TrimBlanks(rs.Field("planContent").ToText()));
}

void DayTables::Mark(const DateTime& start, const DateTime& end, const DateTime& first,
                     const DateTime& last, const Value& kind_of_place, std::string_view piece) {
  ForEachCoveredDay(start, end, first, last, [&](int n) {
    text[n].append(piece);
    text[n].append(kDaySeparator);
    kind[n] = kind_of_place;
  });
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

#include "exports/sheet_cells.h"

#include "calendar/weekday_caption.h"
#include "core/date_text.h"
#include "core/utf8.h"

namespace ostrand::exports {
namespace {

constexpr std::string_view kPrivateMark = "（个人）";
constexpr std::string_view kColon = "：";

void AppendOneLine(std::string& out, std::string_view text) {
  const std::size_t from = out.size();
  AppendCleanText(out, text);
  for (std::size_t i = from; i < out.size(); ++i) {
    if (out[i] == '\n') out[i] = ' ';
  }
}

}  // namespace

std::string DayHeading(const DateTime& day) {
  return DateText(day) + " " + std::string(calendar::WeekdayName(day.weekday()));
}

std::optional<DateTime> ReadDayHeading(std::string_view heading) {
  const std::optional<DateTime> day = DateTime::Parse(heading.substr(0, heading.find(' ')));
  if (!day || *day != day->DateOnly()) return std::nullopt;
  return day;
}

std::string PlanLine(std::string_view kind, std::string_view text, bool shared) {
  std::string line;
  line.reserve(kind.size() + text.size() + 16);
  AppendOneLine(line, kind);
  if (!shared) line += kPrivateMark;
  line += kColon;
  AppendOneLine(line, text);
  return line;
}

std::optional<PlanLineParts> ReadPlanLine(std::string_view line) {
  const std::size_t colon = line.find(kColon);
  if (colon == std::string_view::npos) return std::nullopt;
  PlanLineParts parts;
  std::string_view kind = line.substr(0, colon);
  if (kind.ends_with(kPrivateMark)) {
    kind.remove_suffix(kPrivateMark.size());
    parts.shared = false;
  }
  parts.kind = kind;
  parts.text = line.substr(colon + kColon.size());
  return parts;
}

}  // namespace ostrand::exports

#include "exports/csv_export.h"

#include "core/date_text.h"
#include "core/utf8.h"
#include "exports/csv.h"
#include "exports/sheet_cells.h"

namespace ostrand::exports {
namespace {

std::string ListTime(const DateTime& t) {
  return t.second() == 0 ? MinuteText(t) : DateTimeText(t);
}

}  // namespace

std::string WriteGridCsv(const Grid& grid) {
  std::string out(kUtf8Bom);
  std::vector<std::string> fields;
  fields.reserve(grid.days.size() + 1);
  fields.emplace_back(kNameHeading);
  for (const DateTime& day : grid.days) fields.push_back(DayHeading(day));
  AppendCsvRecord(out, fields);
  for (const GridRow& row : grid.rows) {
    fields.clear();
    fields.push_back(CleanText(row.name));
    for (const GridCell& cell : row.cells) fields.push_back(CleanText(cell.text));
    AppendCsvRecord(out, fields);
  }
  return out;
}

std::string WritePlanListCsv(const std::vector<plans::PlanRecord>& plans) {
  std::string out(kUtf8Bom);
  AppendCsvRecord(out, {kPlanListHeadings.begin(), kPlanListHeadings.end()});
  for (const plans::PlanRecord& plan : plans) {
    AppendCsvRecord(
        out, {ListTime(plan.start), ListTime(plan.end), CleanText(plan.kind), CleanText(plan.place),
              CleanText(plan.detail), CleanText(plan.content), CleanText(plan.addition),
              std::string(plan.shared ? kSharedWord : kPrivateWord)});
  }
  return out;
}

}  // namespace ostrand::exports

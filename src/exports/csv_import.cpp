#include "exports/csv_import.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/text.h"
#include "exports/csv.h"
#include "exports/sheet_cells.h"

namespace ostrand::exports {
namespace {

using plans::ImportResult;
using plans::PlanRecord;

// The most plans one day cell may give: the k-th starts k minutes after
// midnight, and all of them before the day's end at 23:59.
constexpr std::size_t kMaxLinesPerCell = 23 * 60 + 59;

std::string Shown(std::string_view text) {
  std::string out(text.substr(0, 60));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out;
}

void Accept(ImportResult& result, int line, std::string person, PlanRecord plan) {
  plan.kind = TrimBlanks(plan.kind);
  plan.place = TrimBlanks(plan.place);
  std::vector<std::string> flattened = plans::FlattenLineBreaks(plan);
  if (const std::optional<std::string> problem = plans::PlanRecordProblem(plan)) {
    result.problems.push_back({line, *problem});
  } else {
    result.plans.push_back({line, std::move(person), std::move(plan), std::move(flattened)});
  }
}

void ReadGrid(const std::vector<CsvRecord>& records, ImportResult& result) {
  const CsvRecord& heading = records.front();
  std::vector<DateTime> days;
  for (std::size_t i = 1; i < heading.fields.size(); ++i) {
    const std::optional<DateTime> day = ReadDayHeading(heading.fields[i]);
    if (!day) {
      result.problems.push_back({heading.line, "column " + std::to_string(i + 1) + " heading '" +
                                                   Shown(heading.fields[i]) +
                                                   "' is no day (such as 2001-12-01 星期六)"});
      return;
    }
    days.push_back(*day);
  }
  for (auto record = records.begin() + 1; record != records.end(); ++record) {
    if (record->fields.size() > days.size() + 1) {
      result.problems.push_back(
          {record->line, "the record has " + std::to_string(record->fields.size()) +
                             " fields, the heading " + std::to_string(days.size() + 1)});
      continue;
    }
    const std::string& person = record->fields[0];
    // A cell's lines are counted from the record's first line on.
    int line = record->line;
    for (std::size_t i = 1; i < record->fields.size(); ++i) {
      const std::string_view cell = record->fields[i];
      std::size_t k = 0;
      std::size_t from = 0;
      while (from <= cell.size() && !cell.empty()) {
        const std::size_t end = std::min(cell.find('\n', from), cell.size());
        const std::string_view text = cell.substr(from, end - from);
        if (!TrimWhitespace(text).empty()) {
          const std::optional<PlanLineParts> parts = ReadPlanLine(text);
          if (!parts) {
            result.problems.push_back({line, DayHeading(days[i - 1]).substr(0, 10) + ": '" +
                                                 Shown(text) +
                                                 "' is no plan (such as 北京：座谈会)"});
          } else if (k >= kMaxLinesPerCell) {
            result.problems.push_back({line, DayHeading(days[i - 1]).substr(0, 10) +
                                                 ": more plans than minutes in the day"});
          } else {
            const DateTime& day = days[i - 1];
            PlanRecord plan;
            plan.start = DateTime::FromSerial(day.day(), static_cast<std::int32_t>(k) * 60);
            plan.end = DateTime::FromSerial(day.day(), (23 * 60 + 59) * 60);
            plan.kind = parts->kind;
            plan.content = parts->text;
            plan.shared = parts->shared;
            Accept(result, line, person, std::move(plan));
            ++k;
          }
        }
        if (end == cell.size()) break;
        ++line;
        from = end + 1;
      }
    }
  }
}

// The start or end of a list record: a date and time of DateTime::Parse.
std::optional<DateTime> ListTime(std::string_view text) { return DateTime::Parse(text); }

void ReadList(const std::vector<CsvRecord>& records, const std::vector<int>& column,
              ImportResult& result) {
  const auto field = [&](const CsvRecord& r, std::size_t which) -> std::string {
    const int at = column[which];
    return at >= 0 && static_cast<std::size_t>(at) < r.fields.size() ? r.fields[at] : "";
  };
  for (auto record = records.begin() + 1; record != records.end(); ++record) {
    const std::string start = field(*record, 0), end = field(*record, 1);
    const std::optional<DateTime> from = ListTime(start), to = ListTime(end);
    if (!from || !to) {
      result.problems.push_back(
          {record->line, "cannot read '" + Shown(!from ? start : end) + "' as the " +
                             std::string(!from ? "start" : "end") + " (such as 2001-12-05 09:00)"});
      continue;
    }
    const std::string sharing(TrimWhitespace(field(*record, 7)));
    if (!sharing.empty() && sharing != kSharedWord && sharing != kPrivateWord) {
      result.problems.push_back({record->line, "类型 '" + Shown(sharing) + "' is neither " +
                                                   std::string(kSharedWord) + " nor " +
                                                   std::string(kPrivateWord)});
      continue;
    }
    PlanRecord plan;
    plan.start = *from;
    plan.end = *to;
    plan.kind = field(*record, 2);
    plan.place = field(*record, 3);
    plan.detail = field(*record, 4);
    plan.content = field(*record, 5);
    plan.addition = field(*record, 6);
    plan.shared = sharing != kPrivateWord;
    Accept(result, record->line, "", std::move(plan));
  }
}

}  // namespace

ImportResult ReadPlansCsv(std::string_view text) {
  CsvText csv = ParseCsv(text);
  ImportResult result;
  for (CsvProblem& p : csv.problems) result.problems.push_back({p.line, std::move(p.reason)});
  if (csv.records.empty()) {
    if (result.problems.empty()) result.problems.push_back({1, "the file holds no records"});
    return result;
  }
  const CsvRecord& heading = csv.records.front();
  if (TrimWhitespace(heading.fields[0]) == kNameHeading) {
    ReadGrid(csv.records, result);
  } else {
    std::vector<int> column(kPlanListHeadings.size(), -1);
    std::string unknown;
    for (std::size_t i = 0; i < heading.fields.size(); ++i) {
      const std::string_view name = TrimWhitespace(heading.fields[i]);
      const auto known = std::find(kPlanListHeadings.begin(), kPlanListHeadings.end(), name);
      if (known == kPlanListHeadings.end()) {
        if (unknown.empty()) unknown = Shown(name);
      } else {
        column[known - kPlanListHeadings.begin()] = static_cast<int>(i);
      }
    }
    if (column[0] < 0 || column[1] < 0 || !unknown.empty()) {
      result.problems.push_back(
          {heading.line,
           "the heading is neither 姓名 and days nor the plan list's columns (" +
               (unknown.empty() ? "开始 and 结束 missing" : "unknown column '" + unknown + "'") +
               ")"});
    } else {
      ReadList(csv.records, column, result);
    }
  }
  std::stable_sort(result.problems.begin(), result.problems.end(),
                   [](const auto& a, const auto& b) { return a.line < b.line; });
  return result;
}

}  // namespace ostrand::exports

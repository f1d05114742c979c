#include "holidays/holiday_file.h"

#include <algorithm>
#include <map>
#include <optional>

#include "core/date_text.h"
#include "core/error.h"
#include "core/text.h"
#include "core/utf8.h"
#include "exports/csv.h"
#include "feeds/ical_reader.h"
#include "feeds/time_zone.h"

namespace ostrand::holidays {
namespace {

// A piece of the file for a message: one line, at most 60 bytes, valid UTF-8.
std::string Shown(std::string_view text) {
  std::string out = CleanText(text.substr(0, 60));
  for (char& c : out) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  return out;
}

std::string IsoDay(const DateTime& day) { return DateText(day); }

// Why a name cannot be stored, or nothing.
std::optional<std::string> NameProblem(std::string_view name) {
  if (name.empty()) return "the holiday has no name";
  if (!IsValidUtf8(name)) return "the name is not UTF-8 text";
  if (HasControlCharacter(name)) return "the name '" + Shown(name) + "' holds a control character";
  if (CountCharacters(name) > kMaxHolidayNameLength) {
    return "the name '" + Shown(name) + "...' is longer than " +
           std::to_string(kMaxHolidayNameLength) + " characters";
  }
  return std::nullopt;
}

// Gathers the days of a file: each date once, the file's day count bounded.
class Collector {
 public:
  explicit Collector(HolidayFile& file) : file_(file) {}

  void Problem(int line, std::string reason) { file_.problems.push_back({line, std::move(reason)}); }

  // False once the file has given too many days (a problem says so).
  bool Add(int line, Holiday day) {
    if (full_) return false;
    const auto [at, added] = lines_.emplace(day.date.day(), line);
    if (!added) {
      Problem(line, IsoDay(day.date) + " is given twice (lines " + std::to_string(at->second) +
                        " and " + std::to_string(line) + ")");
      return true;
    }
    if (file_.days.size() == kMaxFileDays) {
      Problem(line, "the file gives more than " + std::to_string(kMaxFileDays) + " days");
      full_ = true;
      return false;
    }
    file_.days.push_back(std::move(day));
    return true;
  }

  void Finish() {
    std::sort(file_.days.begin(), file_.days.end(),
              [](const Holiday& a, const Holiday& b) { return a.date < b.date; });
    std::stable_sort(file_.problems.begin(), file_.problems.end(),
                     [](const HolidayProblem& a, const HolidayProblem& b) { return a.line < b.line; });
  }

 private:
  HolidayFile& file_;
  std::map<std::int64_t, int> lines_;  // day serial -> line that gave it
  bool full_ = false;
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// The name without trailing blanks and brackets: "国庆节（班）" -> "国庆节（班".
std::string_view WithoutClosing(std::string_view name) {
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    name = TrimWhitespace(name);
    for (const std::string_view closing : {")", "]", "）", "】"}) {
      if (name.ends_with(closing)) {
        name.remove_suffix(closing.size());
        trimmed = true;
      }
    }
  }
  return name;
}

bool IsWorkingEvent(std::string_view category, std::string_view summary) {
  const std::string kind = Lower(TrimWhitespace(category));
  for (const std::string_view word : {"work", "工作日", "班", "补班", "上班"}) {
    if (kind == word) return true;
  }
  if (summary.find("补班") != std::string_view::npos ||
      summary.find("上班") != std::string_view::npos) {
    return true;
  }
  return WithoutClosing(summary).ends_with("班");
}

}  // namespace

HolidayFile ReadHolidayCsv(std::string_view text) {
  HolidayFile file;
  Collector days(file);
  const exports::CsvText csv = exports::ParseCsv(text);
  for (const exports::CsvProblem& p : csv.problems) days.Problem(p.line, p.reason);
  bool first = true;
  for (const exports::CsvRecord& record : csv.records) {
    const bool heading_allowed = first;
    first = false;
    std::vector<std::string_view> fields;
    for (const std::string& f : record.fields) fields.push_back(TrimWhitespace(f));
    while (fields.size() > 3 && fields.back().empty()) fields.pop_back();
    if (heading_allowed && !fields.empty() &&
        (EqualsNoCase(fields[0], "date") || fields[0] == "日期")) {
      continue;
    }
    if (fields.size() != 3) {
      days.Problem(record.line, "the record has " + std::to_string(fields.size()) +
                                    " fields; a holiday is date,name,off|work");
      continue;
    }
    const std::optional<DateTime> date = DateTime::Parse(fields[0]);
    if (!date || date->seconds() != 0) {
      days.Problem(record.line, "'" + Shown(fields[0]) + "' is no date (such as 2026-10-01)");
      continue;
    }
    if (const std::optional<std::string> problem = NameProblem(fields[1])) {
      days.Problem(record.line, *problem);
      continue;
    }
    bool day_off = true;
    if (EqualsNoCase(fields[2], "work")) {
      day_off = false;
    } else if (!EqualsNoCase(fields[2], "off")) {
      days.Problem(record.line, "'" + Shown(fields[2]) + "' is neither off nor work");
      continue;
    }
    if (!days.Add(record.line, Holiday{*date, std::string(fields[1]), day_off, false})) break;
  }
  days.Finish();
  return file;
}

HolidayFile ReadHolidayCalendar(std::string_view text) {
  HolidayFile file;
  Collector days(file);
  const plans::ImportResult events = feeds::ReadCalendar(text, feeds::TimeZone::System());
  for (const plans::ImportProblem& p : events.problems) days.Problem(p.line, p.reason);
  for (const plans::ImportedPlan& event : events.plans) {
    const plans::PlanRecord& plan = event.plan;
    const std::string name(TrimWhitespace(plan.content));
    if (const std::optional<std::string> problem = NameProblem(name)) {
      days.Problem(event.line, *problem);
      continue;
    }
    const DateTime first = plan.start.DateOnly();
    DateTime last = plan.end.DateOnly();
    // A timed event that ends at midnight ends before that day.
    if (plan.end.seconds() == 0 && plan.end > plan.start) last = last.AddDays(-1);
    const std::int64_t length = last.day() - first.day() + 1;
    if (length > kMaxHolidayDays) {
      days.Problem(event.line, "'" + Shown(name) + "' lasts " + std::to_string(length) +
                                   " days; a holiday lasts at most " +
                                   std::to_string(kMaxHolidayDays));
      continue;
    }
    const bool day_off = !IsWorkingEvent(plan.kind, name);
    bool room = true;
    for (std::int64_t d = first.day(); d <= last.day() && room; ++d) {
      room = days.Add(event.line, Holiday{DateTime::FromSerial(d), name, day_off, false});
    }
    if (!room) break;
  }
  days.Finish();
  return file;
}

HolidayFile ReadHolidayFile(std::string_view text) {
  std::string_view body = text;
  if (body.starts_with(exports::kUtf8Bom)) body.remove_prefix(exports::kUtf8Bom.size());
  if (StartsWithNoCase(TrimWhitespace(body), "BEGIN:VCALENDAR")) return ReadHolidayCalendar(body);
  return ReadHolidayCsv(text);
}

}  // namespace ostrand::holidays
